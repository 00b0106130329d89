#pragma once
// Opening a Hunspell dictionary the way the spelling and the glossary both
// need it: refused when a file cannot be read (Hunspell opens missing files
// without a word and then knows nothing: every word would be unknown) or when
// its encoding is one the texts cannot be written in for it.
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <hunspell/hunspell.hxx>

#include <memory>

namespace trd::quality {

struct HunspellFiles {
    std::unique_ptr<Hunspell> hunspell; // null when refused
    bool utf8 = false; // else ISO 8859-1
};

inline HunspellFiles openHunspellFiles(const QString& affixFile, const QString& wordFile)
{
    if (!QFileInfo(affixFile).isReadable() || !QFileInfo(wordFile).isReadable())
        return {};
    auto hunspell =
        std::make_unique<Hunspell>(QFile::encodeName(affixFile).constData(), QFile::encodeName(wordFile).constData());
    const QByteArray encoding = QByteArray::fromStdString(hunspell->get_dict_encoding()).toUpper();
    const bool utf8 = encoding == "UTF-8" || encoding == "UTF8";
    if (!utf8 && encoding != "ISO8859-1" && encoding != "ISO-8859-1" && encoding != "LATIN1")
        return {};
    return {std::move(hunspell), utf8};
}

} // namespace trd::quality
