#pragma once
// Rows that exercise what a file must carry exactly: line breaks of both
// kinds, tabs, quotes, markup characters, the whole Windows-1252 repertoire,
// empty texts in each status, and separators inside program and component.
#include "ExchangeTypes.h"

#include <QString>

#include <vector>

namespace trd::exchange::test {

// Every character of Windows-1252 that a text may hold, as UTF-8.
inline std::string win1252Repertoire()
{
    QString s;
    for (int b = 0x20; b <= 0xFF; ++b) {
        if (b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
            continue;
        static const char16_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                          0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
        s += (b >= 0x80 && b < 0xA0) ? QChar(high[b - 0x80]) : QChar(b);
    }
    return s.toStdString();
}

inline std::vector<Row> trickyRows()
{
    std::vector<Row> rows = {
        {"TRD09300", "sbtSalvar", "&Salvar", "&Save", 'T', 0},
        {"TRD09300", "msgPadrao.Gravado", "Gravado.\nOutro?", "Saved.\r\nAnother?", 'D', 0},
        {"TRD09300", "lblTab", "a\tb", "", 'N', 0},
        {"TRD09300", "lblDuvida", "Confirma?", "Confirm?", 'D', 0},
        {"TRD09300", "lblVazioT", "Vazio", "", 'T', 0},
        {"TRD09300", "lblVazioD", "Dúvida vazia", "", 'D', 0},
        {"TRD09300", "lblIgualN", "Mesmo texto", "Mesmo texto", 'N', 0},
        {"TRD09300", "lblMarcas", "<b> & \"x\" 'y' ]]> &amp;", "<b> & \"x\" 'y' ]]> &amp;!", 'T', 0},
        {"TRD09300", "lblEspacos", "  dois  ", "   ", 'T', 0},
        {"FAT/02\\01", "comp/onente\\", "Barra / e \\", "Slash / and \\", 'T', 0},
        {"FAT02001", "lblRepertorio", "Repertório", win1252Repertoire(), 'T', 0},
        {"FAT02001", "lblOrigemVazia", "", "nada", 'D', 0},
        {"FAT02001", "lblQuebraInicial", "\nInício", "\nStart", 'T', 0},
    };
    return rows;
}

} // namespace trd::exchange::test
