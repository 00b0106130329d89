#include "InfoBanco.h"

#include "FloatFormat.h"

#include <QDate>

#include <sqlite3.h>

#include <gtest/gtest.h>

namespace trd::test {

namespace {

// Written out again here, apart from the dialog's own table.
const char16_t* const Ignorados = u"0123456789~!@#$%^&*()-_+=|\\{}[]:;\"<,>.?/` '";

QByteArray linha(const char* idioma, const char* programa, const QString& componente, const QString& destino,
                 const char* situacao, const QString& quando)
{
    QString texto = destino;
    texto.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'\t', QStringLiteral("\\t"))
        .replace(u'\n', QStringLiteral("\\n"));
    return QStringLiteral("R\t%1\t%2\t%3\tOrigem de %3\t%4\t%5\t%6\n")
        .arg(QLatin1String(idioma), QLatin1String(programa), componente, texto, QLatin1String(situacao), quando)
        .toUtf8();
}

// Runs a one-number query on the database, with the language bound first.
double umNumero(const QString& db, const QString& sql, const QString& idioma, const QString& situacao)
{
    sqlite3* banco = nullptr;
    double valor = -1;
    if (sqlite3_open_v2(db.toUtf8().constData(), &banco, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << db.toStdString();
        sqlite3_close(banco);
        return valor;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(banco, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(banco);
    } else {
        const QByteArray i = idioma.toUtf8(), s = situacao.toUtf8();
        sqlite3_bind_text(st, 1, i.constData(), static_cast<int>(i.size()), SQLITE_TRANSIENT);
        if (!situacao.isEmpty())
            sqlite3_bind_text(st, 2, s.constData(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW)
            valor = sqlite3_column_double(st, 0);
    }
    sqlite3_finalize(st);
    sqlite3_close(banco);
    return valor;
}

QString condicoes(const QString& situacao, Intervalo intervalo)
{
    QString where = QStringLiteral(" FROM TRADUCAO WHERE IDIDIOMA = ?1");
    if (!situacao.isEmpty())
        where += QStringLiteral(" AND IDSITTRADUCAO = ?2");
    if (intervalo.de)
        where += QStringLiteral(" AND DTALTERACAO >= %1 AND DTALTERACAO < %2")
                     .arg(diaDeJaneiro(intervalo.de), 0, 'f', 6)
                     .arg(diaDeJaneiro(intervalo.ate) + 1, 0, 'f', 6);
    return where;
}

} // namespace

QByteArray SementeTeste(bool grande)
{
    QByteArray s = "L\tENG\tEnglish\tENG\nL\tPOR\tPortuguês\tPOR\n";
    if (grande)
        s += "L\tBIG\tMuitas linhas\tPOR\n";
    QString longo;
    for (int i = 0; longo.size() < 600; ++i)
        longo += QStringLiteral("Configuração número %1 do relatório, página %2; ").arg(i).arg(i * 7);
    s += linha("ENG", "TRD09300", "lblAbrir", "Open file", "T", "2025-01-08 10:00:00");
    s += linha("ENG", "TRD09300", "lblVazio", "", "N", "2025-01-08 11:00:00");
    s += linha("ENG", "TRD09300", "lblSalvo", "File saved?", "D", "2025-01-09 23:59:00");
    s += linha("ENG", "TRD09301", "btnSalvar", "Save file (2)", "T", "2025-01-10 00:00:00");
    s += linha("ENG", "TRD09301", "lblNome", "File name: 'x'", "N", "2025-01-10 09:30:00");
    s += linha("ENG", "TRD09301", "lblConfig", "Configurações de impressão", "D", "2025-01-10 15:30:00");
    s += linha("ENG", "TRD09302", "lblLongo", longo, "T", "2025-01-11 08:00:00");
    s += linha("ENG", "TRD09302", "lblTab", "a\tb\nc - 42%", "N", "2025-01-11 12:00:00");
    s += linha("ENG", "TRD09302", "lblUltima", "Última linha do dia 12 — €5", "T", "2025-01-12 23:59:59");
    s += linha("ENG", "TRD09303", "lblDepois", "Depois do intervalo", "D", "2025-01-13 00:00:00");
    s += linha("ENG", "TRD09303", "btnFechar", "Fechar", "N", "2025-01-14 10:00:00");
    s += linha("POR", "TRD09300", "lblAbrir", "Abrir", "N", "2025-01-08 10:00:00");
    s += linha("POR", "TRD09300", "btnSalvar", "Salvar", "T", "2025-01-08 10:00:00");
    s += linha("POR", "TRD09300", "btnFechar", "Fechar", "N", "2025-01-09 10:00:00");
    s += linha("POR", "TRD09300", "lblDuvida", "Dúvida?", "D", "2025-01-09 10:00:00");
    const char* situacoes[] = {"T", "N", "D"};
    for (int i = 0; grande && i < LinhasGrandes; ++i)
        s += linha("BIG", "TRD09399", QStringLiteral("lbl%1").arg(i),
                   QStringLiteral("Texto de destino número %1, com acentuação").arg(i), situacoes[i % 3],
                   QStringLiteral("2025-06-%1 10:00:00").arg(1 + i % 28, 2, 10, QLatin1Char('0')));
    return s;
}

double diaDeJaneiro(int dia)
{
    return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(2025, 1, dia)));
}

int linhasBanco(const QString& db, const QString& idioma, const QString& situacao, Intervalo intervalo)
{
    return static_cast<int>(
        umNumero(db, QStringLiteral("SELECT COUNT(*)") + condicoes(situacao, intervalo), idioma, situacao));
}

qint64 caracteresBanco(const QString& db, const QString& idioma, const QString& situacao, Intervalo intervalo)
{
    // Two levels of REPLACE: 43 nested calls in one expression are deeper
    // than SQLite's parser goes.
    QString primeira = QStringLiteral("STVALORPROP"), segunda = QStringLiteral("T");
    int n = 0;
    for (const char16_t* c = Ignorados; *c; ++c, ++n) {
        const QString literal = *c == u'\'' ? QStringLiteral("''''") : QStringLiteral("'%1'").arg(QChar(*c));
        QString& expressao = n < 22 ? primeira : segunda;
        expressao = QStringLiteral("REPLACE(%1, %2, '')").arg(expressao, literal);
    }
    EXPECT_EQ(n, 43);
    return static_cast<qint64>(
        umNumero(db,
                 QStringLiteral("SELECT COALESCE(SUM(LENGTH(%1)), 0) FROM (SELECT %2 AS T").arg(segunda, primeira)
                     + condicoes(situacao, intervalo) + u')',
                 idioma, situacao));
}

QString custoExato(qint64 unidadesDePreco, qint64 caracteres)
{
    const qint64 total = unidadesDePreco * caracteres;
    const QString inteiro = QString::number(total / 10'000'000);
    QString fracao = QStringLiteral("%1").arg(total % 10'000'000, 7, 10, QLatin1Char('0'));
    while (fracao.endsWith(u'0'))
        fracao.chop(1);
    EXPECT_LE((inteiro == QLatin1String("0") ? 0 : inteiro.size()) + fracao.size(), 15)
        << "more digits than a cost cell shows";
    if (total == 0)
        return QStringLiteral("0");
    if (fracao.isEmpty())
        return inteiro;
    return inteiro + DecimalSeparator() + fracao;
}

} // namespace trd::test
