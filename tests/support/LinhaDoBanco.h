#pragma once
// A row as trd-server's SQLite database holds it, read beside the running
// server, for end-to-end tests that check what an edit saved.
#include <QString>
#include <QStringList>

#include <sqlite3.h>

namespace trd::test {

// Destination text and status of the row of `idioma` whose component is
// `componente` (unique in the tests' seeds); empty when there is none.
inline QStringList linhaBanco(const QString& dbPath, const char* idioma, const char* componente)
{
    QStringList valores;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT STVALORPROP, IDSITTRADUCAO FROM TRADUCAO WHERE IDIDIOMA = ? AND NMCOMPONENTE = ?",
                           -1, &st, nullptr);
        sqlite3_bind_text(st, 1, idioma, -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 2, componente, -1, SQLITE_STATIC);
        if (sqlite3_step(st) == SQLITE_ROW)
            valores << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))
                    << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return valores;
}

} // namespace trd::test
