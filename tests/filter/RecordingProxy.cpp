#include "RecordingProxy.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <map>
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
    std::string heldMethod;
    std::chrono::milliseconds heldFor{0};
    bool released = true;
    std::condition_variable releasedChanged;
    std::map<std::string, int> answered;
    bool feed = false;
    bool feedBlocked = false;
    int feedRequests = 0;
};

namespace {
// What the editor's companions ask on their own (the roles every second, a
// language's terms, the current row's suggestions, history and previous
// source) are neither recorded nor given a canned answer: the tests count and
// answer the calls they make happen, and on a loaded machine one of these could
// otherwise come in between.
bool askedInTheBackground(const std::string& method)
{
    for (const char* m :
         {"GetPapeis", "GetTermos", "GetSugestoes", "GetTraducaoAutomatica", "GetHistorico", "GetOrigensAnteriores"})
        if (method == m)
            return true;
    return false;
}

std::string methodOf(const std::string& body)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(body))
        .object()
        .value(QStringLiteral("method"))
        .toString()
        .toStdString();
}
} // namespace

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
    d->server.Get(R"(/.*/alteracoes)", [impl](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard lock(impl->mutex);
            if (!impl->feed) {
                res.status = 404;
                return;
            }
            if (impl->feedBlocked) {
                res.status = 503;
                return;
            }
            ++impl->feedRequests;
        }
        std::string query;
        for (const auto& [name, value] : req.params) {
            std::string v = value;
            if (name == "espera")
                v = "1";
            query += (query.empty() ? "?" : "&") + name + "="
                + QUrl::toPercentEncoding(QString::fromStdString(v)).toStdString();
        }
        httplib::Client client(impl->host, impl->serverPort);
        client.set_read_timeout(60, 0);
        httplib::Headers headers;
        if (req.has_header("Authorization"))
            headers.emplace("Authorization", req.get_header_value("Authorization"));
        const auto answer = client.Get(req.path + query, headers);
        if (!answer) {
            res.status = 502;
            return;
        }
        res.status = answer->status;
        res.set_content(answer->body, answer->get_header_value("Content-Type"));
    });
    d->server.Post(R"(/.*)", [impl](const httplib::Request& req, httplib::Response& res) {
        const std::string method = methodOf(req.body);
        struct Count {
            Impl* impl;
            const std::string& method;
            ~Count()
            {
                std::lock_guard lock(impl->mutex);
                ++impl->answered[method];
            }
        } count{impl, method};
        {
            std::unique_lock lock(impl->mutex);
            if (!impl->heldMethod.empty() && method == impl->heldMethod) {
                const auto until = std::chrono::steady_clock::now() + impl->heldFor;
                impl->releasedChanged.wait_until(lock, until, [] { return false; });
                impl->releasedChanged.wait(lock, [impl] { return impl->released; });
            }
        }
        std::optional<std::string> canned;
        bool forwardFirst = false;
        {
            std::lock_guard lock(impl->mutex);
            if (!askedInTheBackground(method)) {
                impl->bodies.append(QByteArray::fromStdString(req.body));
                canned.swap(impl->nextAnswer);
                forwardFirst = std::exchange(impl->forwardFirst, false);
            }
        }
        // A session's token and a batch go on with the call.
        httplib::Headers headers;
        for (const char* name : {"Authorization", "X-Trd-Lote"})
            if (req.has_header(name))
                headers.emplace(name, req.get_header_value(name));
        if (canned && forwardFirst) {
            httplib::Client client(impl->host, impl->serverPort);
            client.set_read_timeout(120, 0);
            client.Post(req.path, headers, req.body, "application/json");
        }
        if (canned) {
            const QJsonValue id =
                QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object().value(QStringLiteral("id"));
            const std::string answer =
                R"({"jsonrpc":"2.0","id":)" + std::to_string(id.toInteger()) + "," + *canned + "}";
            res.set_content(answer, "application/json");
            return;
        }
        httplib::Client client(impl->host, impl->serverPort);
        client.set_read_timeout(120, 0);
        const auto answer = client.Post(req.path, headers, req.body, "application/json");
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
    release();
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

void RecordingProxy::hold(const QString& method, int minimumMs)
{
    std::lock_guard lock(d->mutex);
    d->heldMethod = method.toStdString();
    d->heldFor = std::chrono::milliseconds(minimumMs);
    d->released = false;
}

void RecordingProxy::release()
{
    {
        std::lock_guard lock(d->mutex);
        d->released = true;
    }
    d->releasedChanged.notify_all();
}

int RecordingProxy::answered(const QString& method) const
{
    std::lock_guard lock(d->mutex);
    const auto it = d->answered.find(method.toStdString());
    return it == d->answered.end() ? 0 : it->second;
}

void RecordingProxy::forwardFeed(bool on)
{
    std::lock_guard lock(d->mutex);
    d->feed = on;
}

void RecordingProxy::blockFeed(bool blocked)
{
    std::lock_guard lock(d->mutex);
    d->feedBlocked = blocked;
}

int RecordingProxy::feedRequests() const
{
    std::lock_guard lock(d->mutex);
    return d->feedRequests;
}

void RecordingProxy::clear()
{
    std::lock_guard lock(d->mutex);
    d->bodies.clear();
}

} // namespace trd::test
