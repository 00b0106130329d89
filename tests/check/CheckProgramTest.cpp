// trd-check as a user runs it, against a real trd-server: the file it writes
// by default beside the program, read back through the platform's data set;
// its options; and the errors it gives for a server it cannot reach, a
// language the server does not have and a place it cannot write.
#include "TClientDataSet.h"
#include "TrdServerProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

using namespace trd;
using namespace trd::test;

namespace {

const char* const Semente =
    "L\tENG\tEnglish\tENG\n"
    "L\tFRA\tFrancês\tFRA\n"
    "R\tFRA\tTRD09300\tsbtFiltro\tFiltrar registros\tFiltrer les enregistrements\tT\n"
    "R\tFRA\tTRD09300\tsbtSalvar\t&Salvar\t&Enregistrer\tT\n"
    "R\tFRA\tTRD09300\tmsgPadrao.Gravado\tRegistro gravado com sucesso.\\nDeseja incluir outro?\t"
    "Enregistrement sauvegardé.\\nVoulez-vous en ajouter un autre ?\tD\n"
    "R\tFRA\tTRD09301\tlblSenha\tSenha\tSenha\tN\n"
    "R\tFRA\tTRD09301\tlblCliente\tCliente\t\tT\n"
    "R\tFRA\tCAD01001\tlblSenha\tSenha\tMot de passe\tN\n"
    "R\tENG\tTRD09300\tsbtFiltro\tFiltrar registros\tFilter records\tT\n";

struct Saida {
    int codigo = -1;
    QString out, err;
};

Saida roda(const QString& programa, const QStringList& args)
{
    QProcess p;
    p.start(programa, args);
    Saida s;
    if (!p.waitForFinished(60000)) {
        ADD_FAILURE() << "trd-check did not finish: " << p.errorString().toStdString();
        p.kill();
        p.waitForFinished();
        return s;
    }
    s.codigo = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    s.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    s.err = QString::fromLocal8Bit(p.readAllStandardError());
    return s;
}

QString programa()
{
    return QDir(qEnvironmentVariable("TRD_BIN_DIR")).filePath(QStringLiteral("trd-check"));
}

// "KIND|PROGRAM|COMPONENT|SOURCE|FOUND|ALLOWED|MESSAGE" of each listed row, in
// the file's order; every row must be listed for FRA.
QStringList linhasDaLista(const QString& caminho)
{
    QStringList linhas;
    TClientDataSet lista;
    lista.LoadFromFile(caminho);
    for (lista.First(); !lista.Eof(); lista.Next()) {
        EXPECT_EQ(lista.FieldByName(QStringLiteral("IDIDIOMA"))->AsString(), QStringLiteral("FRA"));
        QStringList campos;
        for (const char* campo :
             {"TPLISTA", "CDPROGTRAD", "NMCOMPONENTE", "STAGRVALPROP", "NRTAMANHO", "NRTAMMAX", "DSMENSAGEM"})
            campos << lista.FieldByName(QString::fromLatin1(campo))->AsString();
        linhas << campos.join(u'|');
    }
    return linhas;
}

class CheckProgramTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        pasta = new QTemporaryDir;
        const QString tsv = pasta->filePath(QStringLiteral("semente.tsv"));
        QFile f(tsv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Semente);
        f.close();
        TrdServerProcess::Options opcoes;
        opcoes.importTsv = tsv;
        servidor = new TrdServerProcess(opcoes);
        ASSERT_TRUE(servidor->isRunning()) << servidor->errorString().toStdString();
    }

    static void TearDownTestSuite()
    {
        delete servidor;
        delete pasta;
    }

    static QTemporaryDir* pasta;
    static TrdServerProcess* servidor;
    QTemporaryDir aqui;
};

QTemporaryDir* CheckProgramTest::pasta = nullptr;
TrdServerProcess* CheckProgramTest::servidor = nullptr;

} // namespace

TEST_F(CheckProgramTest, WritesBothKindsIntoTheTrdFolderBesideTheProgram)
{
    // Installed elsewhere, the program writes beside itself, wherever it is run from.
    const QString instalado = aqui.filePath(QStringLiteral("bin/trd-check"));
    ASSERT_TRUE(QDir().mkpath(aqui.filePath(QStringLiteral("bin"))));
    ASSERT_TRUE(QFile::copy(programa(), instalado));
    const Saida s = roda(instalado, {QStringLiteral("--server"), servidor->hostPort(), QStringLiteral("fra")});
    ASSERT_EQ(s.codigo, 0) << s.err.toStdString();
    const QString lista = aqui.filePath(QStringLiteral("bin/TRD/CDSNTRAD.cds"));
    ASSERT_TRUE(QFileInfo::exists(lista)) << s.out.toStdString();

    EXPECT_EQ(
        linhasDaLista(lista),
        (QStringList{
            QStringLiteral("N|CAD01001|lblSenha|Senha|||Não traduzido."),
            QStringLiteral("E|CAD01001|lblSenha|Senha|12|10|Linha 1 com 12 caracteres; o máximo é 10 (origem com 5)."),
            QStringLiteral("E|TRD09300|msgPadrao.Gravado|Registro gravado com sucesso.\nDeseja incluir outro?|33|30|"
                           "Linha 2 com 33 caracteres; o máximo é 30 (origem com 21)."),
            QStringLiteral("E|TRD09300|sbtFiltro|Filtrar registros|27|24|"
                           "Linha 1 com 27 caracteres; o máximo é 24 (origem com 17)."),
            QStringLiteral("N|TRD09301|lblCliente|Cliente|||Tradução vazia."),
            QStringLiteral("N|TRD09301|lblSenha|Senha|||Não traduzido."),
        }));
    EXPECT_EQ(s.out.trimmed(),
              lista
                  + QStringLiteral(": 6 linhas de FRA verificadas; 3 não traduzidas, 3 longas demais, "
                                   "0 outros achados (0 erros)."));
    // Not on a terminal: a line per step (and, on a slow run, one every few seconds).
    QStringList passos;
    for (const QString& l : s.err.split(u'\n', Qt::SkipEmptyParts))
        if (l.endsWith(QStringLiteral("...")))
            passos << l;
    EXPECT_EQ(
        passos,
        (QStringList{QStringLiteral("Conectando ao servidor de aplicação em %1...").arg(servidor->hostPort()),
                     QStringLiteral("Lendo as linhas de FRA..."), QStringLiteral("Verificando 6 linhas de FRA..."),
                     QStringLiteral("Gravando %1...").arg(lista)}))
        << s.err.toStdString();
}

TEST_F(CheckProgramTest, OptionsChooseTheKindTheRuleAndThePlace)
{
    const Saida s = roda(programa(),
                         {QStringLiteral("FRA"), QStringLiteral("--server"), servidor->hostPort(),
                          QStringLiteral("--kinds"), QStringLiteral("E"), QStringLiteral("--percent"),
                          QStringLiteral("100"), QStringLiteral("-q"), QStringLiteral("-o"), aqui.path()});
    ASSERT_EQ(s.codigo, 0) << s.err.toStdString();
    EXPECT_TRUE(s.err.isEmpty()) << s.err.toStdString();
    EXPECT_EQ(linhasDaLista(aqui.filePath(QStringLiteral("CDSNTRAD.cds"))),
              QStringList{QStringLiteral(
                  "E|CAD01001|lblSenha|Senha|12|10|Linha 1 com 12 caracteres; o máximo é 10 (origem com 5).")});

    const Saida n = roda(programa(),
                         {QStringLiteral("--language"), QStringLiteral("FRA"), QStringLiteral("--server"),
                          servidor->hostPort(), QStringLiteral("--kinds"), QStringLiteral("N"), QStringLiteral("-o"),
                          aqui.filePath(QStringLiteral("so-n"))});
    ASSERT_EQ(n.codigo, 0) << n.err.toStdString();
    EXPECT_EQ(linhasDaLista(aqui.filePath(QStringLiteral("so-n.cds"))).size(), 3);
}

TEST_F(CheckProgramTest, ErrorsSayWhatIsWrongAndWriteNothing)
{
    const QString destino = aqui.filePath(QStringLiteral("lista.cds"));

    const Saida semServidor = roda(programa(),
                                   {QStringLiteral("FRA"), QStringLiteral("--server"), QStringLiteral("127.0.0.1:1"),
                                    QStringLiteral("-o"), destino});
    EXPECT_EQ(semServidor.codigo, 3);
    EXPECT_TRUE(semServidor.err.contains(
        QStringLiteral("trd-check: Não foi possível conectar ao servidor de aplicação em 127.0.0.1:1.")))
        << semServidor.err.toStdString();

    const Saida semIdioma =
        roda(programa(),
             {QStringLiteral("XYZ"), QStringLiteral("--server"), servidor->hostPort(), QStringLiteral("-o"), destino});
    EXPECT_EQ(semIdioma.codigo, 4);
    EXPECT_TRUE(semIdioma.err.endsWith(QStringLiteral(
        "trd-check: Idioma desconhecido: \"XYZ\". Idiomas do servidor: ENG (English), FRA (Francês).\n")))
        << semIdioma.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(destino));

    // A folder that cannot be made, whoever runs the test: it is a file.
    QFile arquivo(aqui.filePath(QStringLiteral("arquivo")));
    ASSERT_TRUE(arquivo.open(QIODevice::WriteOnly));
    arquivo.close();
    // The log line of the last request may follow its answer by a moment.
    QThread::msleep(300);
    const QByteArray antes = servidor->log();
    const Saida semLugar = roda(programa(),
                                {QStringLiteral("FRA"), QStringLiteral("--server"), servidor->hostPort(),
                                 QStringLiteral("-o"), aqui.filePath(QStringLiteral("arquivo/lista.cds"))});
    EXPECT_EQ(semLugar.codigo, 5);
    EXPECT_TRUE(semLugar.err.contains(QStringLiteral("Não foi possível criar a pasta"))) << semLugar.err.toStdString();
    // Refused before asking the server anything.
    EXPECT_EQ(servidor->log(), antes);

    const Saida semIdiomaDado = roda(programa(), {QStringLiteral("--server"), servidor->hostPort()});
    EXPECT_EQ(semIdiomaDado.codigo, 2);
    EXPECT_TRUE(semIdiomaDado.err.startsWith(QStringLiteral("trd-check: Informe o idioma")))
        << semIdiomaDado.err.toStdString();
}

namespace {

// A release makes a row obsolete: trd-check leaves it out, and with
// --obsoletas checks it apart from the live rows, its message marked.
TEST(CheckProgramObsoletas, ARowAReleaseTookOffIsCheckedOnlyWhenAskedAndMarked)
{
    TrdServerProcess::Options opcoes;
    opcoes.seedTsv = "L\tFRA\tFrancês\tFRA\n"
                     "R\tFRA\tTRD09300\tsbtSalvar\t&Salvar\t&Enregistrer\tT\n"
                     "R\tFRA\tTRD09300\tlblNome\tNome\tNom\tT\n"
                     "R\tFRA\tTRD09300\tlblAntigo\tTexto antigo\t\tN\n";
    TrdServerProcess servidor(opcoes);
    ASSERT_TRUE(servidor.isRunning()) << servidor.errorString().toStdString();
    QTemporaryDir aqui;
    const QString arquivo = aqui.filePath(QStringLiteral("liberacao.tsv"));
    {
        QFile f(arquivo);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("TRD09300\tsbtSalvar\t&Salvar\nTRD09300\tlblNome\tNome\n");
    }
    // One row of three leaves: over the 30 % guard, confirmed.
    const Saida r = roda(QDir(qEnvironmentVariable("TRD_BIN_DIR")).filePath(QStringLiteral("trd-exchange")),
                         {QStringLiteral("release"), arquivo, QStringLiteral("--apply"), QStringLiteral("--confirm"),
                          QStringLiteral("--server"), servidor.hostPort(), QStringLiteral("-q")});
    ASSERT_EQ(r.codigo, 0) << r.out.toStdString() << r.err.toStdString();

    const QString sem = aqui.filePath(QStringLiteral("sem.cds"));
    const Saida s =
        roda(programa(),
             {QStringLiteral("FRA"), QStringLiteral("--server"), servidor.hostPort(), QStringLiteral("--kinds"),
              QStringLiteral("N"), QStringLiteral("-q"), QStringLiteral("-o"), sem});
    ASSERT_EQ(s.codigo, 0) << s.err.toStdString();
    EXPECT_TRUE(linhasDaLista(sem).isEmpty()) << linhasDaLista(sem).join(u'\n').toStdString();
    EXPECT_TRUE(s.out.contains(QStringLiteral(": 2 linhas de FRA verificadas;"))) << s.out.toStdString();

    const QString com = aqui.filePath(QStringLiteral("com.cds"));
    const Saida c =
        roda(programa(),
             {QStringLiteral("FRA"), QStringLiteral("--server"), servidor.hostPort(), QStringLiteral("--kinds"),
              QStringLiteral("N"), QStringLiteral("--obsoletas"), QStringLiteral("-q"), QStringLiteral("-o"), com});
    ASSERT_EQ(c.codigo, 0) << c.err.toStdString();
    const QStringList lista = linhasDaLista(com);
    ASSERT_EQ(lista.size(), 1) << lista.join(u'\n').toStdString();
    EXPECT_TRUE(lista.constFirst().startsWith(QStringLiteral("N|TRD09300|lblAntigo|Texto antigo|")))
        << lista.constFirst().toStdString();
    EXPECT_TRUE(lista.constFirst().section(u'|', 6).startsWith(QStringLiteral("(obsoleta) ")))
        << lista.constFirst().toStdString();
    EXPECT_TRUE(c.out.contains(QStringLiteral(": 3 linhas de FRA verificadas (1 obsoletas);"))) << c.out.toStdString();
}

} // namespace
