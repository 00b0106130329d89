#pragma once
// Which Hunspell dictionary spells each language, read from the client's
// settings file:
//
//   [Ortografia]
//   Pasta=/usr/share/hunspell          ; where the .aff and .dic files are
//   PalavrasDoUsuario=...              ; where the user's word lists go
//   [Dicionarios]
//   ENG=en_US
//   ESP=es_ES
//   FRA=                               ; an empty name: no spelling for FRA
//
// A language the file does not name takes the usual dictionary for its code
// (ENG en_US, ESP es_ES, FRA fr_FR, ALE and DEU de_DE, ITA it_IT, POR pt_BR),
// which spells only where that dictionary is installed.
#include <QHash>
#include <QString>

class QSettings;

namespace trd::quality {

struct SpellSettings {
    QString folder; // the dictionaries' files
    QString userWordsFolder; // one list of words per dictionary
    QHash<QString, QString> dictionaries; // language code, upper case -> dictionary name

    // The usual dictionaries in Debian's folder, the word lists in the
    // user's data folder.
    static SpellSettings defaults();
    // The defaults with what `settings` says over them.
    static SpellSettings read(QSettings& settings);

    // The dictionary of a language; empty when it has none.
    QString dictionaryFor(const QString& language) const;
    QString affixFile(const QString& dictionary) const;
    QString wordFile(const QString& dictionary) const;
    QString userWordsFile(const QString& dictionary) const;
};

} // namespace trd::quality
