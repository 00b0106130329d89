#include "RecordingProxy.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <httplib.h>

#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace trd::test {

struct RecordingProxy::Impl {
    httplib::Server server;
    std::string host;
    int serverPort = 0;
    int port = 0;
    std::thread thread;
    mutable std::mutex mutex;
    QList<QByteArray> bodies;
    std::optional<std::string> nextAnswer;
    bool forwardFirst = false;
};

RecordingProxy::RecordingProxy(const QString& serverHost, int serverPort) : d(std::make_unique<Impl>())
{
    d->host = serverHost.toStdString();
    d->serverPort = serverPort;
    Impl* impl = d.get();
    d->server.Get("/health", [impl](const httplib::Request&, httplib::Response& res) {
        httplib::Client client(impl->host, impl->serverPort);
        const auto answer = client.Get("/health");
        res.status = answer ? answer->status : 502;
        res.set_content(answer ? answer->body : std::string("no server"), "text/plain");
    });
    d->server.Post(R"(/.*)", [impl](const httplib::Request& req, httplib::Response& res) {
        std::optional<std::string> canned;
        bool forwardFirst = false;
        {
            std::lock_guard lock(impl->mutex);
            impl->bodies.append(QByteArray::fromStdString(req.body));
            canned.swap(impl->nextAnswer);
            forwardFirst = std::exchange(impl->forwardFirst, false);
        }
        if (canned && forwardFirst) {
            httplib::Client client(impl->host, impl->serverPort);
            client.set_read_timeout(120, 0);
            client.Post(req.path, req.body, "application/json");
        }
        if (canned) {
            const QJsonValue id = QJsonDocument::fromJson(QByteArray::fromStdString(req.body))
                                      .object().value(QStringLiteral("id"));
            const std::string answer = R"({"jsonrpc":"2.0","id":)" + std::to_string(id.toInteger()) + "," +
                *canned + "}";
            res.set_content(answer, "application/json");
            return;
        }
        httplib::Client client(impl->host, impl->serverPort);
        client.set_read_timeout(120, 0);
        const auto answer = client.Post(req.path, req.body, "application/json");
        if (!answer) {
            res.status = 502;
            return;
        }
        res.status = answer->status;
        res.set_content(answer->body, answer->get_header_value("Content-Type"));
    });
    d->port = d->server.bind_to_any_port("127.0.0.1");
    d->thread = std::thread([impl] { impl->server.listen_after_bind(); });
    while (!d->server.is_running())
        std::this_thread::yield();
}

RecordingProxy::~RecordingProxy()
{
    d->server.stop();
    if (d->thread.joinable())
        d->thread.join();
}

int RecordingProxy::port() const
{
    return d->port;
}

QList<QByteArray> RecordingProxy::requests() const
{
    std::lock_guard lock(d->mutex);
    return d->bodies;
}

QByteArray RecordingProxy::lastParams(const QString& method) const
{
    const QList<QByteArray> all = requests();
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        const QJsonObject call = QJsonDocument::fromJson(*it).object();
        if (call.value(QStringLiteral("method")).toString() == method)
            return QJsonDocument(call.value(QStringLiteral("params")).toArray()).toJson(QJsonDocument::Compact);
    }
    return {};
}

void RecordingProxy::answerNextWith(const QByteArray& member)
{
    std::lock_guard lock(d->mutex);
    d->nextAnswer = member.toStdString();
}

void RecordingProxy::forwardNextThenAnswerWith(const QByteArray& member)
{
    std::lock_guard lock(d->mutex);
    d->nextAnswer = member.toStdString();
    d->forwardFirst = true;
}

void RecordingProxy::clear()
{
    std::lock_guard lock(d->mutex);
    d->bodies.clear();
}

} // namespace trd::test
