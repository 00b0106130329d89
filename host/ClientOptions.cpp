#include "ClientOptions.h"

#include "WebServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace trd {

ClientOptions ParseClientOptions(const QStringList& arguments)
{
    ClientOptions options;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Cliente do módulo de tradução."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Mostra esta ajuda."));
    const QCommandLineOption openOption(QStringLiteral("open"),
                                        QStringLiteral("Abre o módulo de tradução ao iniciar."));
    const QCommandLineOption serverOption = WebServerOption();
    const QCommandLineOption caOption(QStringLiteral("tls-ca"),
                                      QStringLiteral("Confia só nas autoridades certificadoras deste arquivo PEM."),
                                      QStringLiteral("ARQUIVO"));
    parser.addOption(helpOption);
    parser.addOption(openOption);
    parser.addOption(serverOption);
    parser.addOption(caOption);
    // Written here rather than taken from the parser, whose headings and
    // errors are in English.
    options.helpText =
        QStringLiteral("Uso: trd-client [opções]\n"
                       "Cliente do módulo de tradução.\n"
                       "\n"
                       "Opções:\n"
                       "  -h, --help             Mostra esta ajuda.\n"
                       "  --open                 Abre o módulo de tradução ao iniciar.\n"
                       "  --server HOST:PORTA    Servidor de aplicação (padrão: $TRD_SERVER ou 127.0.0.1:%1).\n"
                       "                         https://HOST:PORTA: conexão segura (TLS), com o certificado\n"
                       "                         do servidor verificado pelas autoridades do sistema.\n"
                       "  --tls-ca ARQUIVO       Conexão segura verificada só pelas autoridades certificadoras\n"
                       "                         deste arquivo PEM (por exemplo, a da empresa).\n")
            .arg(DefaultWebPort);
    if (!parser.parse(arguments)) {
        options.error = !parser.unknownOptionNames().isEmpty()
            ? QStringLiteral("Opção desconhecida: %1 (veja trd-client --help)").arg(parser.unknownOptionNames().first())
            : QStringLiteral("Falta o valor da opção %1.")
                  .arg(arguments.contains(QStringLiteral("--tls-ca")) ? QStringLiteral("--tls-ca (ARQUIVO)")
                                                                      : QStringLiteral("--server (HOST:PORTA)"));
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error = QStringLiteral("Argumento inesperado: %1").arg(parser.positionalArguments().first());
        return options;
    }
    options.help = parser.isSet(helpOption);
    options.open = parser.isSet(openOption);
    options.server = parser.isSet(serverOption) ? parser.value(serverOption) : qEnvironmentVariable("TRD_SERVER");
    QString reason;
    if (!options.server.isEmpty() && !SetWebServer(options.server, &reason)) {
        options.error = reason;
        return options;
    }
    WebTlsCaFile.clear();
    if (parser.isSet(caOption)) {
        const QString ca = parser.value(caOption);
        if (!QFileInfo(ca).isReadable()) {
            options.error = QStringLiteral("Não foi possível ler o arquivo de autoridades certificadoras %1.").arg(ca);
            return options;
        }
        if (options.server.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive)) {
            options.error = QStringLiteral("--tls-ca é para um servidor com TLS: use https:// no endereço.");
            return options;
        }
        // An authority to trust means the server is to be reached over TLS.
        WebTlsCaFile = QFileInfo(ca).absoluteFilePath();
        WebTls = true;
    }
    return options;
}

void SetClientIdentity()
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(ClientOrganization));
    QCoreApplication::setApplicationName(QString::fromLatin1(ClientApplication));
}

} // namespace trd
