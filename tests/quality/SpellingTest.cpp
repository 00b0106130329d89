// The spelling: which words of a screen text are looked up, Debian's English
// and Spanish dictionaries on real words, suggestions, the user's own list
// kept on disk, and the settings that map a language to its dictionary.
#include "SpellChecker.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace trd::quality;

namespace {

QStringList palavras(QStringView texto)
{
    QStringList lista;
    for (const SpellingWord& w : spellingWords(texto))
        lista << w.word;
    return lista;
}

SpellSettings ajustes(const QString& pastaDoUsuario)
{
    SpellSettings s = SpellSettings::defaults();
    s.userWordsFolder = pastaDoUsuario;
    return s;
}

} // namespace

TEST(Ortografia, PlaceholdersMarksCapitalsDigitsAndAddressesAreNotLookedUp)
{
    EXPECT_EQ(palavras(u"&Salvar o arquivo %s em {0} para http://x.com/erro PDF MP3 d'água e-mail "
                       u"suporte@empresa.com &amp; x64 Sa&lvar 100% %1 dias CPF-CNPJ"),
              (QStringList{QStringLiteral("Salvar"), QStringLiteral("o"), QStringLiteral("arquivo"),
                           QStringLiteral("em"), QStringLiteral("para"), QStringLiteral("d'água"),
                           QStringLiteral("e-mail"), QStringLiteral("Salvar"), QStringLiteral("dias")}));
    // Where each word is in the text, its mark included, for the underline.
    const QList<SpellingWord> w = spellingWords(u"Um &Teste");
    ASSERT_EQ(w.size(), 2);
    EXPECT_EQ(w[1].start, 3);
    EXPECT_EQ(w[1].length, 6);
    EXPECT_EQ(w[1].word, QStringLiteral("Teste"));
    EXPECT_TRUE(palavras(u"&& -- '' ...").isEmpty());
}

TEST(Ortografia, EnglishAndSpanishWithDebiansDictionaries)
{
    QTemporaryDir pasta;
    const SpellSettings s = ajustes(pasta.path());
    const auto ingles = SpellChecker::open(s, QStringLiteral("eng"));
    ASSERT_TRUE(ingles) << "hunspell-en-us is installed by tools/install-deps.sh";
    QStringList erradas;
    for (const SpellingWord& w : ingles->misspelt(u"&Save the fiel to %s before closing, don't lose teh ORDR"))
        erradas << w.word;
    EXPECT_EQ(erradas, (QStringList{QStringLiteral("fiel"), QStringLiteral("teh")}));
    EXPECT_TRUE(ingles->suggestions(QStringLiteral("fiel")).contains(QStringLiteral("file")));
    EXPECT_TRUE(ingles->suggestions(QStringLiteral("teh")).contains(QStringLiteral("the")));

    const auto espanhol = SpellChecker::open(s, QStringLiteral("ESP"));
    ASSERT_TRUE(espanhol) << "hunspell-es is installed by tools/install-deps.sh";
    erradas.clear();
    for (const SpellingWord& w : espanhol->misspelt(u"¿Desea guardar el archivo? Contraseña incorrecta, conección"))
        erradas << w.word;
    EXPECT_EQ(erradas, (QStringList{QStringLiteral("conección")}));
    EXPECT_TRUE(espanhol->suggestions(QStringLiteral("conección")).contains(QStringLiteral("conexión")));
}

TEST(Ortografia, AWordAddedByTheUserIsKeptOnDiskForTheNextOpening)
{
    QTemporaryDir pasta;
    const SpellSettings s = ajustes(pasta.filePath(QStringLiteral("palavras/novas")));
    auto ingles = SpellChecker::open(s, QStringLiteral("ENG"));
    ASSERT_TRUE(ingles);
    EXPECT_FALSE(ingles->isCorrect(QStringLiteral("Trdsoft")));
    QString erro;
    ASSERT_TRUE(ingles->addUserWord(QStringLiteral("Trdsoft"), &erro)) << erro.toStdString();
    EXPECT_TRUE(ingles->isCorrect(QStringLiteral("Trdsoft")));
    EXPECT_TRUE(ingles->addUserWord(QStringLiteral("Trdsoft"), &erro)); // once in the list
    ASSERT_TRUE(ingles->addUserWord(QStringLiteral("Acmeware"), &erro));

    QFile lista(s.userWordsFile(QStringLiteral("en_US")));
    ASSERT_TRUE(lista.open(QIODevice::ReadOnly));
    EXPECT_EQ(lista.readAll(), QByteArray("Trdsoft\nAcmeware\n"));

    ingles = SpellChecker::open(s, QStringLiteral("ENG"));
    EXPECT_TRUE(ingles->misspelt(u"Trdsoft and Acmeware").isEmpty());

    // A list that cannot be written is said so, and nothing is lost.
    SpellSettings bloqueado = s;
    QFile(pasta.filePath(QStringLiteral("arquivo"))).open(QIODevice::WriteOnly);
    bloqueado.userWordsFolder = pasta.filePath(QStringLiteral("arquivo"));
    auto outro = SpellChecker::open(bloqueado, QStringLiteral("ENG"));
    ASSERT_TRUE(outro);
    EXPECT_FALSE(outro->addUserWord(QStringLiteral("Zyxwv"), &erro));
    EXPECT_TRUE(erro.startsWith(QStringLiteral("Não foi possível gravar a lista de palavras"))) << erro.toStdString();
}

TEST(Ortografia, TheSettingsFileMapsLanguagesAndALanguageWithoutADictionaryIsNotSpelt)
{
    QTemporaryDir pasta;
    const QString arquivo = pasta.filePath(QStringLiteral("cliente.conf"));
    {
        QSettings escrita(arquivo, QSettings::IniFormat);
        escrita.setValue(QStringLiteral("Ortografia/PalavrasDoUsuario"), pasta.path());
        escrita.setValue(QStringLiteral("Dicionarios/ING"), QStringLiteral("en_US"));
        escrita.setValue(QStringLiteral("Dicionarios/ENG"), QString());
        escrita.setValue(QStringLiteral("Dicionarios/KLI"), QStringLiteral("tlh_KL"));
    }
    QSettings leitura(arquivo, QSettings::IniFormat);
    const SpellSettings s = SpellSettings::read(leitura);
    EXPECT_EQ(s.folder, QStringLiteral("/usr/share/hunspell"));
    EXPECT_EQ(s.userWordsFolder, pasta.path());
    EXPECT_EQ(s.dictionaryFor(QStringLiteral("ing")), QStringLiteral("en_US"));
    EXPECT_EQ(s.dictionaryFor(QStringLiteral("ESP")), QStringLiteral("es_ES")); // the usual one, unnamed
    EXPECT_TRUE(SpellChecker::open(s, QStringLiteral("ING")));
    EXPECT_FALSE(SpellChecker::open(s, QStringLiteral("ENG"))); // turned off by an empty name
    EXPECT_FALSE(SpellChecker::open(s, QStringLiteral("KLI"))); // named, not installed
    EXPECT_FALSE(SpellChecker::open(s, QStringLiteral("XYZ"))); // not named at all
    SpellSettings outraPasta = s;
    outraPasta.folder = pasta.path();
    EXPECT_FALSE(SpellChecker::open(outraPasta, QStringLiteral("ING")));
}
