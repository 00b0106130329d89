#include "SpellSettings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace trd::quality {

SpellSettings SpellSettings::defaults()
{
    SpellSettings s;
    s.folder = QStringLiteral("/usr/share/hunspell");
    s.userWordsFolder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("ortografia"));
    s.dictionaries = {
        {QStringLiteral("ENG"), QStringLiteral("en_US")}, {QStringLiteral("ESP"), QStringLiteral("es_ES")},
        {QStringLiteral("FRA"), QStringLiteral("fr_FR")}, {QStringLiteral("ALE"), QStringLiteral("de_DE")},
        {QStringLiteral("DEU"), QStringLiteral("de_DE")}, {QStringLiteral("ITA"), QStringLiteral("it_IT")},
        {QStringLiteral("POR"), QStringLiteral("pt_BR")},
    };
    return s;
}

SpellSettings SpellSettings::read(QSettings& settings)
{
    SpellSettings s = defaults();
    settings.beginGroup(QStringLiteral("Ortografia"));
    s.folder = settings.value(QStringLiteral("Pasta"), s.folder).toString();
    s.userWordsFolder = settings.value(QStringLiteral("PalavrasDoUsuario"), s.userWordsFolder).toString();
    settings.endGroup();
    settings.beginGroup(QStringLiteral("Dicionarios"));
    const QStringList codes = settings.childKeys();
    for (const QString& code : codes)
        s.dictionaries.insert(code.trimmed().toUpper(), settings.value(code).toString().trimmed());
    settings.endGroup();
    return s;
}

QString SpellSettings::dictionaryFor(const QString& language) const
{
    return dictionaries.value(language.trimmed().toUpper());
}

QString SpellSettings::affixFile(const QString& dictionary) const
{
    return QDir(folder).filePath(dictionary + QStringLiteral(".aff"));
}

QString SpellSettings::wordFile(const QString& dictionary) const
{
    return QDir(folder).filePath(dictionary + QStringLiteral(".dic"));
}

QString SpellSettings::userWordsFile(const QString& dictionary) const
{
    return QDir(userWordsFolder).filePath(dictionary + QStringLiteral(".txt"));
}

} // namespace trd::quality
