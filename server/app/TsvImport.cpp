#include "TsvImport.h"

#include "DeltaReader.h"
#include "RpcError.h"
#include "TDateTime.h"
#include "TsvEscapes.h"

#include <QDateTime>

#include <charconv>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace trd::server {

namespace {

std::vector<std::string> split(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(unescapeTsvField(std::string_view(line).substr(start, tab == std::string::npos ? tab : tab - start)));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

double parseChangeDate(const std::string& text)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc() && end == text.data() + text.size())
        return value;
    const QString qtext = QString::fromStdString(text);
    QDateTime dt = QDateTime::fromString(qtext, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!dt.isValid())
        dt = QDateTime(QDate::fromString(qtext, QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
    if (!dt.isValid())
        throw std::runtime_error("data de alteração inválida: " + text);
    return trd::QDateTimeToDateTime(dt);
}

void check(const std::string& value, const char* field, std::size_t size)
{
    checkFieldText(value, field, size, 0);
}

// Seeding writes each line's values over the row's: into a language that
// already has rows, a file of sources with empty destinations would blank
// its translations. A new release of the application goes through the
// release's reconciliation instead, which carries them over.
void refuseLanguagesWithRows(StorageWriter& w, const std::vector<TranslationRow>& rows)
{
    std::set<std::string> languages;
    for (const TranslationRow& row : rows)
        languages.insert(row.key.language);
    for (const std::string& language : languages) {
        std::size_t existing = 0;
        w.readReleaseRows(language, [&](const ReleaseRowView&) { ++existing; });
        if (existing > 0)
            throw std::runtime_error("o idioma " + language + " já tem " + std::to_string(existing)
                                     + " linha(s) neste banco: --import-tsv só semeia idiomas sem linhas e não "
                                       "sobrescreve traduções. Para trazer os textos de uma nova versão do "
                                       "aplicativo, use trd-exchange release ARQUIVO --preview e depois --apply "
                                       "(docs/releases.md). Nada foi importado.");
    }
}

} // namespace

ImportCounts importTsv(std::istream& in, WriteCoordinator& writer)
{
    std::vector<Language> languages;
    std::vector<TranslationRow> rows;
    std::string line;
    std::size_t number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        try {
            const std::vector<std::string> f = split(line);
            if (f[0] == "L" && f.size() == 4) {
                checkLanguageCode(f[1], 0);
                check(f[2], "DSIDIOMA", fieldsize::LanguageName);
                check(f[3], "IDIPROP", fieldsize::LanguageProp);
                languages.push_back({f[1], f[2], f[3]});
            } else if (f[0] == "R" && (f.size() == 7 || f.size() == 8)) {
                TranslationRow row;
                row.key = {f[1], f[2], f[3], f[4]};
                row.destination = f[5];
                row.status = f[6];
                checkLanguageCode(row.key.language, 0);
                check(row.key.program, "CDPROGTRAD", fieldsize::Program);
                check(row.key.component, "NMCOMPONENTE", fieldsize::Component);
                check(row.key.source, "STAGRVALPROP", fieldsize::Text);
                check(row.destination, "STVALORPROP", fieldsize::Text);
                if (row.status != "T" && row.status != "D" && row.status != "N")
                    throw std::runtime_error("situação inválida: " + row.status);
                if (f.size() == 8)
                    row.changed = parseChangeDate(f[7]);
                rows.push_back(std::move(row));
            } else {
                throw std::runtime_error("esperado L com 3 campos ou R com 6 ou 7 campos");
            }
        } catch (const std::exception& e) {
            throw std::runtime_error("linha " + std::to_string(number) + ": " + e.what());
        }
    }
    WriteOrigin origin;
    origin.method = "--import-tsv";
    origin.kind = BatchKind::Import;
    writer.runExclusive(origin, [&](StorageWriter& w) {
        refuseLanguagesWithRows(w, rows);
        const double now = trd::Now();
        for (const auto& lang : languages)
            w.putLanguage(lang);
        w.beginBulkLoad();
        for (const auto& row : rows)
            w.insertRow(row, now);
        w.endBulkLoad();
    });
    return {languages.size(), rows.size()};
}

} // namespace trd::server
