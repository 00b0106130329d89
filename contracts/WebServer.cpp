#include "WebServer.h"

#include <QCommandLineOption>

namespace trd {

QString WebURL = QStringLiteral("127.0.0.1");
int WebPort = DefaultWebPort;
bool WebTls = false;
QString WebTlsCaFile;

bool SetWebServer(QStringView hostPort, QString* error)
{
    QStringView text = hostPort.trimmed();
    bool tls = false;
    if (text.startsWith(u"https://", Qt::CaseInsensitive)) {
        tls = true;
        text = text.mid(8);
    } else if (text.startsWith(u"http://", Qt::CaseInsensitive)) {
        text = text.mid(7);
    } else if (const qsizetype scheme = text.indexOf(u"://"); scheme >= 0) {
        if (error)
            *error = QStringLiteral("Endereço de servidor inválido: \"%1\" (use http:// ou https://).")
                         .arg(hostPort.trimmed());
        return false;
    }
    if (text.endsWith(u'/'))
        text.chop(1);
    QStringView host = text;
    QStringView portText;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0) {
            if (error)
                *error = QStringLiteral("Endereço IPv6 sem ']' em \"%1\".").arg(text);
            return false;
        }
        host = text.mid(1, close - 1);
        const QStringView rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':')) {
                if (error)
                    *error = QStringLiteral("Endereço de servidor inválido: \"%1\".").arg(text);
                return false;
            }
            portText = rest.mid(1);
        }
    } else if (const qsizetype colon = text.lastIndexOf(u':'); colon >= 0) {
        host = text.left(colon);
        portText = text.mid(colon + 1);
    }
    if (host.isEmpty()) {
        if (error)
            *error = QStringLiteral("Endereço de servidor sem nome de máquina: \"%1\".").arg(text);
        return false;
    }
    int port = DefaultWebPort;
    if (!portText.isNull()) {
        bool ok = false;
        port = portText.toInt(&ok);
        if (!ok || port <= 0 || port > 65535) {
            if (error)
                *error = QStringLiteral("Porta inválida em \"%1\": use um número de 1 a 65535.").arg(text);
            return false;
        }
    }
    WebURL = host.toString();
    WebPort = port;
    WebTls = tls;
    return true;
}

QCommandLineOption WebServerOption()
{
    return QCommandLineOption(
        QStringLiteral("server"),
        QStringLiteral("Servidor de aplicação (padrão: $TRD_SERVER ou 127.0.0.1:%1).").arg(DefaultWebPort),
        QStringLiteral("HOST:PORTA"));
}

} // namespace trd
