#pragma once
// The editor of one user of a real trd-server with users, on a real display:
// leo reads (leitor of every language), tito translates ENG, rita reviews
// ENG, ana administers everything. A test opens the editor as one of them
// on ENG and makes the others' calls on connections of their own.
#include "XcbEditorTest.h"

#include "AlteracoesAoVivo.h"
#include "PapeisDoEditor.h"
#include "RevisaoRegras.h"
#include "ServerCalls.h"
#include "WebSession.h"

#include <QAction>
#include <QLabel>
#include <QProcess>

namespace trd::test {

inline int runServerCommand(const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.start(TrdServerProcess::binaryPath(), args);
    if (!p.waitForStarted(10000))
        return -1;
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

class EditorComPapeis : public XcbEditorTest {
protected:
    static constexpr int kEspera = 30000;

    void SetUp() override
    {
        const QString users = dir.filePath(QStringLiteral("trd.users"));
        const QList<QStringList> quem = {
            {"ana", "administrador:*"}, {"tito", "tradutor:ENG"}, {"rita", "revisor:ENG"}, {"leo", "leitor:*"}};
        for (const QStringList& u : quem)
            ASSERT_EQ(runServerCommand({"user", "add", u[0], "--papel", u[1], "--users", users}, "senha\n"), 0);
        serverArgs = {"--users", users};
    }
    void TearDown() override { WebSessionToken.clear(); }

    QByteArray login(const QString& nome, bool pelaProxy)
    {
        TSocketConnection c;
        c.Port = pelaProxy ? proxy->port() : server->port();
        c.ServerName = ServerNameTraducao;
        c.ThrowException = true;
        return c.AppServer().Call(QStringLiteral("Login"), {nome, QStringLiteral("senha")}).Packet;
    }

    // The editor of `nome` on these rows, the rows of ENG loaded, live changes passed on.
    TfrmTraducao* abreComo(const QString& nome, const QList<Linha>& linhas)
    {
        EXPECT_TRUE(input.ok()) << "no X display with XTEST";
        startServer({{"ENG", "English"}, {"ESP", "Español"}}, linhas);
        if (!server || !proxy)
            return nullptr;
        proxy->forwardFeed(true);
        WebSessionToken = login(nome, true);
        EXPECT_FALSE(WebSessionToken.isEmpty());
        for (const char* outro : {"ana", "rita", "tito"})
            tokens.insert(outro, login(outro, false));
        TfrmTraducao* form = openEditor();
        if (!form)
            return nullptr;
        EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join('|').toStdString();
        loadLanguage(QStringLiteral("ENG-English"));
        Application()->SetDialogSeam(nullptr);
        activate();
        EXPECT_TRUE(form->direitos->informado());
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->aoVivo->indicador()->text() == "● Ao vivo"; }, kEspera));
        return form;
    }

    // A call of ana's, rita's or tito's, on a connection of their own; its answer, or the error raised.
    TClientDataSet& chamaComo(const QString& nome, const QString& metodo, const TRemoteArgs& args)
    {
        TSocketConnection c;
        c.Port = server->port();
        c.ServerName = ServerNameTraducao;
        c.ThrowException = true;
        const QByteArray token = tokens.value(nome);
        c.SessionToken = [token] { return token; };
        resposta.SetData(c.AppServer().Call(metodo, args).Packet);
        return resposta;
    }
    // Who marked the row, as the editor's grid has it.
    QString revisorNaTela(const QString& origem) const
    {
        return revisao::MarcaDaLinha(*frmTraducao->cdsDestino, rowOf(origem)).revisor;
    }
    QAction* item(const char* nome) const { return frmTraducao->findChild<QAction*>(QString::fromLatin1(nome)); }
    QString papel() const { return frmTraducao->direitos->rotulo()->text(); }

    QHash<QString, QByteArray> tokens;
    TClientDataSet resposta;
};

} // namespace trd::test
