#include "ChangeFeedClient.h"

#include "HttpClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

namespace trd {

// ================================================================ the answer

namespace {

QString text(const QJsonObject& o, const char* name)
{
    return o.value(QLatin1String(name)).toString();
}

} // namespace

bool ReadFeedAnswer(const QByteArray& body, FeedBatch& batch, QString* error)
{
    auto refuse = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject())
        return refuse(QStringLiteral("a resposta não é um objeto JSON"));
    const QJsonObject root = doc.object();
    const QJsonValue upTo = root.value(QLatin1String("ate"));
    if (!upTo.isDouble())
        return refuse(QStringLiteral("a resposta não traz \"ate\""));
    batch = FeedBatch{};
    batch.upTo = upTo.toInteger(-1);
    if (root.value(QLatin1String("recarregar")).toBool()) {
        batch.reload = true;
        batch.reason = text(root, "motivo");
        return true;
    }
    const QJsonValue list = root.value(QLatin1String("alteracoes"));
    if (!list.isArray())
        return refuse(QStringLiteral("a resposta não traz \"alteracoes\""));
    const QJsonArray changes = list.toArray();
    batch.changes.reserve(static_cast<std::size_t>(changes.size()));
    for (const QJsonValue& v : changes) {
        const QJsonObject o = v.toObject();
        FeedChange c;
        c.seq = o.value(QLatin1String("seq")).toInteger(-1);
        const QString type = text(o, "tipo");
        if (c.seq < 0 || type.size() != 1 || !QStringLiteral("AIERU").contains(type))
            return refuse(QStringLiteral("uma alteração sem número ou tipo"));
        c.type = type.at(0).toLatin1();
        c.language = text(o, "idioma");
        c.program = text(o, "tela");
        c.component = text(o, "componente");
        c.source = text(o, "origem");
        c.destination = text(o, "destino");
        c.status = text(o, "situacao");
        c.destinationBefore = text(o, "destinoAnterior");
        c.statusBefore = text(o, "situacaoAnterior");
        c.when = o.value(QLatin1String("data")).toDouble();
        c.user = text(o, "usuario");
        batch.changes.push_back(std::move(c));
    }
    return true;
}

// ================================================================ the follower

namespace {

// The body of a streamed answer, one line of JSON an answer, each given to
// `take` as soon as its line is whole. A cursor behind what the server keeps
// is answered whole, from its history: a body of one answer and no line break.
// A line that is not an answer sets `problem` and stops the reading.
HttpClient::Error readStream(HttpClient& client, const std::function<void(FeedBatch)>& take, QString& problem,
                             QString* detail)
{
    auto takeLine = [&](const QByteArray& line) {
        FeedBatch batch;
        if (!ReadFeedAnswer(line, batch, &problem))
            return false;
        take(std::move(batch));
        return true;
    };
    QByteArray pending;
    char buffer[16384];
    for (;;) {
        qsizetype got = 0;
        const HttpClient::Error error = client.ReadBody(buffer, sizeof buffer, got, detail);
        if (error != HttpClient::Error::None)
            return error;
        if (got == 0)
            break;
        pending.append(buffer, got);
        qsizetype start = 0;
        for (qsizetype end; (end = pending.indexOf('\n', start)) >= 0; start = end + 1)
            if (!takeLine(pending.mid(start, end - start)))
                return HttpClient::Error::None;
        pending.remove(0, start);
    }
    if (!pending.trimmed().isEmpty())
        takeLine(pending);
    return HttpClient::Error::None;
}

} // namespace

// What the follower's thread and the owner share: the stop signal, the
// token, the word that the first number came, the last problem.
struct ChangeFeedClient::Shared {
    int stopFd = -1;
    std::mutex mutex;
    std::condition_variable firstCame;
    bool firstDone = false; // the first attempt ended, with a number or not
    // Rows were read before the first number came (Follow() stopped waiting
    // for it, or the owner said so): the first answer is told as a reload.
    bool readBeforeFirst = false;
    QByteArray token;
    QString problem;
    std::atomic<std::uint64_t> generation{0};

    Shared() : stopFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) { }
    ~Shared()
    {
        if (stopFd >= 0)
            ::close(stopFd);
    }
    // Waits `ms` unless told to stop; true when told.
    bool pause(int ms) const
    {
        pollfd p{stopFd, POLLIN, 0};
        return ::poll(&p, 1, ms) > 0;
    }
    bool stopped() const { return pause(0); }
};

ChangeFeedClient::ChangeFeedClient(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<trd::FeedBatch>("trd::FeedBatch");
    qRegisterMetaType<trd::ChangeFeedClient::State>("trd::ChangeFeedClient::State");
}

ChangeFeedClient::~ChangeFeedClient()
{
    Stop();
}

void ChangeFeedClient::Stop()
{
    if (m_shared) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_shared->stopFd, &one, sizeof one);
        // Whatever the thread posted and the owner has not run yet is dropped.
        ++m_shared->generation;
    }
    if (m_thread.joinable())
        m_thread.join();
    m_shared.reset();
    m_cursor = -1;
    if (m_state.exchange(State::Off) != State::Off)
        emit StateChanged(State::Off);
}

void ChangeFeedClient::SetSessionToken(QByteArray token)
{
    if (!m_shared)
        return;
    std::lock_guard lock(m_shared->mutex);
    m_shared->token = std::move(token);
}

QString ChangeFeedClient::LastProblem() const
{
    if (!m_shared)
        return {};
    std::lock_guard lock(m_shared->mutex);
    return m_shared->problem;
}

bool ChangeFeedClient::Follow(const Endpoint& endpoint, const QString& language, QByteArray sessionToken, int firstMs)
{
    Stop();
    m_language = language;
    auto shared = std::make_shared<Shared>();
    shared->token = std::move(sessionToken);
    m_shared = shared;
    setState(State::Connecting);
    m_thread = std::thread([this, shared, endpoint, language, waitS = WaitSeconds, maxPauseMs = MaxPauseMs,
                            connectMs = ConnectTimeoutMs, gatherMs = GatherMs, streamOn = Streamed] {
        // The server answers a waiting request after waitS at the latest; a
        // silence much longer than that is a connection gone dead.
        HttpClient client(endpoint.host.toUtf8(), endpoint.port, connectMs, (waitS + 15) * 1000);
        client.SetTls(endpoint.tls, endpoint.tlsCaFile.toUtf8());
        client.SetInterrupt(shared->stopFd);
        client.SetMaxBodySize(256 << 20);
        const QByteArray path = endpoint.objectPath.toUtf8() + "/alteracoes";
        auto post = [this, shared](auto work) {
            const std::uint64_t generation = shared->generation;
            QMetaObject::invokeMethod(
                this,
                [shared, generation, work = std::move(work)]() mutable {
                    if (shared->generation == generation)
                        work();
                },
                Qt::QueuedConnection);
        };
        auto first = [&shared] {
            std::lock_guard lock(shared->mutex);
            if (!shared->firstDone) {
                shared->firstDone = true;
                shared->firstCame.notify_all();
            }
        };
        // Run once a request has been sent (and then only after an hour, far
        // beyond the wait, so it never wakes the thread while it waits).
        bool announce = false;
        client.SetWaitHook(
            [&] {
                if (std::exchange(announce, false))
                    post([this] { setState(State::Following); });
            },
            3600 * 1000);
        int pauseMs = 0;
        bool streamed = streamOn;
        while (!shared->stopped()) {
            QUrlQuery query;
            query.addQueryItem(QStringLiteral("idioma"), language);
            // This follower reads review marks (types R and U): the server tells them only when asked.
            query.addQueryItem(QStringLiteral("revisoes"), QStringLiteral("S"));
            const std::int64_t cursor = m_cursor.load();
            if (cursor >= 0) {
                query.addQueryItem(QStringLiteral("desde"), QString::number(cursor));
                query.addQueryItem(QStringLiteral("espera"), QString::number(waitS));
                if (streamed)
                    query.addQueryItem(QStringLiteral("fluxo"), QStringLiteral("S"));
            }
            {
                std::lock_guard lock(shared->mutex);
                client.SetAuthorization(shared->token.isEmpty() ? QByteArray() : "Bearer " + shared->token);
            }
            // Once a request with a number has left, it waits at the server: following.
            announce = cursor >= 0 && m_state.load() != State::Following;
            const QByteArray target = path + '?' + query.toString(QUrl::FullyEncoded).toUtf8();
            HttpClient::Response response;
            QString detail;
            QString problem;
            const bool streaming = streamed && cursor >= 0;
            HttpClient::Error error = streaming ? client.Start("GET", target, {}, response, &detail)
                                                : client.Request("GET", target, {}, response, &detail);
            if (streaming && error == HttpClient::Error::None) {
                if (response.status == 200) {
                    // Each line an answer, taken as it comes: the number moves
                    // with each, so a drop midway resumes after the last one.
                    error = readStream(
                        client,
                        [&](FeedBatch batch) {
                            if (batch.upTo >= 0)
                                m_cursor = batch.upTo;
                            if (batch.reload || !batch.changes.empty())
                                post([this, batch = std::move(batch)] { emit Changes(batch); });
                        },
                        problem, &detail);
                    if (error == HttpClient::Error::Interrupted || shared->stopped())
                        break;
                    if (error == HttpClient::Error::None && problem.isEmpty()) {
                        pauseMs = 0;
                        continue;
                    }
                    if (!problem.isEmpty())
                        client.Close();
                } else {
                    error = client.ReadRest(response.body, &detail);
                    if (error == HttpClient::Error::None && response.status == 400) {
                        // A server that knows no streamed form refuses it
                        // as an unknown parameter.
                        streamed = false;
                        continue;
                    }
                }
            }
            if (error == HttpClient::Error::Interrupted || shared->stopped())
                break;
            FeedBatch batch;
            bool unavailable = false;
            if (!problem.isEmpty()) {
            } else if (error != HttpClient::Error::None) {
                problem = detail.isEmpty() ? QStringLiteral("a conexão falhou") : detail;
            } else if (response.status == 404 || response.status == 405) {
                problem = QStringLiteral("o servidor não oferece alterações ao vivo");
                unavailable = true;
            } else if (response.status == 401) {
                problem = QStringLiteral("o servidor pede uma sessão válida");
                post([this] { emit SessionRefused(); });
            } else if (response.status != 200) {
                problem = QStringLiteral("o servidor respondeu HTTP %1").arg(response.status);
            } else if (!ReadFeedAnswer(response.body, batch, &problem)) {
                client.Close();
            }
            if (problem.isEmpty()) {
                const bool wasFirst = cursor < 0;
                if (wasFirst) {
                    // A first number that came after Follow() gave up
                    // waiting: rows loaded meanwhile may miss what was saved
                    // before it, so they are to be read again.
                    std::lock_guard lock(shared->mutex);
                    if (shared->readBeforeFirst && !batch.reload) {
                        batch.reload = true;
                        batch.reason = QStringLiteral("as alterações ao vivo começaram depois das linhas carregadas");
                    }
                }
                const bool told = batch.reload || !batch.changes.empty();
                if (batch.upTo >= 0)
                    m_cursor = batch.upTo;
                pauseMs = 0;
                if (told)
                    post([this, batch = std::move(batch)] { emit Changes(batch); });
                if (wasFirst) {
                    post([this] { setState(State::Following); });
                    first();
                }
                if (told && gatherMs > 0 && shared->pause(gatherMs))
                    break;
                continue;
            }
            {
                std::lock_guard lock(shared->mutex);
                shared->problem = problem;
            }
            first();
            const State next = unavailable ? State::Unavailable : State::Lost;
            post([this, next] { setState(next); });
            // A server without the feed is asked again only now and then; a
            // failure is tried again soon, then less and less often.
            pauseMs = unavailable ? maxPauseMs * 4 : std::clamp(pauseMs * 2, 500, maxPauseMs);
            if (shared->pause(pauseMs))
                break;
            if (m_state.load() != State::Following)
                post([this] { setState(State::Connecting); });
        }
    });
    std::unique_lock lock(shared->mutex);
    if (firstMs > 0) {
        shared->firstCame.wait_for(lock, std::chrono::milliseconds(firstMs), [&] { return shared->firstDone; });
        shared->readBeforeFirst = !shared->firstDone || m_cursor.load() < 0;
    }
    lock.unlock();
    // The thread posted its first state; take it now so the caller sees it.
    if (m_cursor.load() >= 0 && m_state.load() != State::Following)
        setState(State::Following);
    return m_cursor.load() >= 0;
}

void ChangeFeedClient::RowsRead()
{
    if (!m_shared)
        return;
    std::lock_guard lock(m_shared->mutex);
    if (m_cursor.load() < 0)
        m_shared->readBeforeFirst = true;
}

void ChangeFeedClient::setState(State state, const QString& problem)
{
    if (!problem.isEmpty() && m_shared) {
        std::lock_guard lock(m_shared->mutex);
        m_shared->problem = problem;
    }
    if (m_state.exchange(state) != state)
        emit StateChanged(state);
}

} // namespace trd
