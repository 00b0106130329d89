#include "ServerLink.h"

#include "DataPacket.h"
#include "ScopedBatch.h"
#include "TSocketConnection.h"

#include <QElapsedTimer>

#include <cmath>

namespace trd::exchange {

namespace {

const QString RemoteObject = QStringLiteral("Trd09300.rdmTraducao");
// JSON-RPC's "method not found": a server of a version without the history.
constexpr int MethodNotFound = -32601;

int fieldOf(const PacketReader& reader, const char* name)
{
    const int index = reader.fieldIndex(name);
    if (index < 0)
        throw ExchangeError(QStringLiteral("A resposta do servidor não traz o campo %1.").arg(QLatin1String(name)));
    return index;
}

char statusOf(std::string_view status)
{
    return status.empty() ? 'N' : status.front();
}

// The rows of an answer, with their change dates where the answer carries them.
std::vector<Row> readRows(const QByteArray& answer, bool withDates)
{
    PacketReader reader(answer);
    const int source = fieldOf(reader, "STAGRVALPROP"), destination = fieldOf(reader, "STVALORPROP"),
              status = fieldOf(reader, "IDSITTRADUCAO"), component = fieldOf(reader, "NMCOMPONENTE"),
              program = fieldOf(reader, "CDPROGTRAD");
    const int changed = withDates ? fieldOf(reader, "DTALTERACAO") : -1;
    std::vector<Row> rows;
    rows.reserve(reader.rowCount());
    while (reader.next()) {
        Row r;
        r.program = reader.raw(program);
        r.component = reader.raw(component);
        r.source = reader.raw(source);
        r.destination = reader.raw(destination);
        r.status = statusOf(reader.raw(status));
        if (changed >= 0)
            r.changed = reader.dateTime(changed);
        rows.push_back(std::move(r));
    }
    return rows;
}

} // namespace

void JobControl::report(const QString& step, qint64 done, qint64 total) const
{
    if (onProgress)
        onProgress({step, done, total});
}

void JobControl::checkCancel() const
{
    if (cancel && cancel->load(std::memory_order_relaxed))
        throw Cancelled();
}

std::unique_ptr<TSocketConnection> connectionTo(const ServerAddress& address)
{
    auto c = std::make_unique<TSocketConnection>();
    c->Host = address.host;
    c->Port = address.port;
    c->UseTls = address.tls;
    c->TlsCaFile = address.tlsCaFile;
    c->ServerName = RemoteObject;
    c->ThrowException = true;
    return c;
}

ServerLink::ServerLink(const ServerAddress& address, const JobControl& control)
    : m_control(control), m_net(connectionTo(address)), m_token(address.token)
{
    m_net->WaitingIntervalMs = 100;
    m_net->OnWaiting = [this] { m_control.checkCancel(); };
    m_net->SessionToken = [this] { return m_token; };
    if (address.login)
        m_net->Login = [this, login = address.login](const QString& message) {
            const QByteArray token = login(*m_net, message);
            if (token.isEmpty())
                return false;
            m_token = token;
            return true;
        };
}

ServerLink::~ServerLink() = default;

QByteArray ServerLink::packet(const QString& step, const std::function<QByteArray()>& call)
{
    m_control.checkCancel();
    m_control.report(step);
    QByteArray result = call();
    m_control.checkCancel();
    return result;
}

QString ServerLink::checkLanguage(const QString& typed)
{
    const QByteArray answer =
        packet(QStringLiteral("Conectando ao servidor de aplicação em %1").arg(m_net->Address()), [&] {
            m_net->Open();
            return m_net->AppServer().Call(QStringLiteral("GetIdiTrad")).Packet;
        });
    PacketReader reader(answer);
    const int code = fieldOf(reader, "IDIDIOMA");
    QStringList known;
    while (reader.next()) {
        const QString c = QString::fromUtf8(reader.raw(code).data(), static_cast<qsizetype>(reader.raw(code).size()));
        if (c.compare(typed.trimmed(), Qt::CaseInsensitive) == 0)
            return c;
        known << c;
    }
    throw ExchangeError(QStringLiteral("Idioma desconhecido: \"%1\". Idiomas do servidor: %2.")
                            .arg(typed, known.isEmpty() ? QStringLiteral("nenhum") : known.join(QStringLiteral(", "))));
}

ServerClock ServerLink::clock()
{
    const QByteArray answer = packet(QStringLiteral("Lendo a hora do servidor"),
                                     [&] { return m_net->AppServer().Call(QStringLiteral("GetDataHoraServ")).Packet; });
    PacketReader reader(answer);
    const int now = fieldOf(reader, "DTATUAL");
    const int offset = fieldOf(reader, "NRFUSO");
    if (!reader.next())
        throw ExchangeError(QStringLiteral("O servidor não informou a hora."));
    return {reader.dateTime(now), static_cast<int>(std::lround(reader.real(offset)))};
}

std::vector<Row> ServerLink::rows(const RowSelection& s)
{
    const QByteArray answer = packet(QStringLiteral("Lendo as linhas de %1").arg(s.language), [&] {
        if (s.filtered)
            return m_net->AppServer()
                .Call(QStringLiteral("GetFiltroDest"),
                      {s.statusT, s.statusD, s.statusN, s.fragment, s.language, s.firstDate, s.lastDate, s.dateMode})
                .Packet;
        return m_net->AppServer()
            .Call(QStringLiteral("GetDestino"),
                  {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"), s.language, TDateTime(0),
                   TDateTime(0), QString()})
            .Packet;
    });
    return readRows(answer, false);
}

std::vector<Row> ServerLink::rowsWithDates(const QString& language)
{
    const QByteArray answer = packet(QStringLiteral("Lendo as linhas de %1").arg(language), [&] {
        // The report query of a language's lines carries each row's change date.
        return m_net->AppServer()
            .Call(QStringLiteral("GetConsultaRel"),
                  {QStringLiteral("LinhasPorTela"), QStringLiteral("P_IDIDIOMA"), language,
                   QStringLiteral("P_SITUACAO"), QString(), QStringLiteral("P_TSITUACAO"), QStringLiteral("ALL"),
                   QStringLiteral("P_DtIni"), TDateTime(0), QStringLiteral("P_DtFim"), TDateTime(0)})
            .Packet;
    });
    return readRows(answer, true);
}

void ServerLink::apply(const QByteArray& delta)
{
    m_control.checkCancel();
    m_control.report(QStringLiteral("Gravando no servidor"));
    // Once the change log has left, the server decides: cancelling now could
    // only hide whether it was written, so the wait is not cancellable.
    m_net->OnWaiting = nullptr;
    m_net->AppServer().Call(QStringLiteral("SetDestino"), {delta});
}

qint64 ServerLink::applyAsImport(const QByteArray& delta, const QString& language)
{
    m_control.checkCancel();
    m_control.report(QStringLiteral("Abrindo o lote da importação"));
    qint64 batch = 0;
    try {
        // A batch opened and never written to is not listed: a cancel while
        // it opens leaves nothing behind.
        PacketReader reader(
            m_net->AppServer().Call(QStringLiteral("AbreLote"), {language, QStringLiteral("importacao")}).Packet);
        const int id = fieldOf(reader, "IDLOTE");
        if (reader.next())
            batch = static_cast<qint64>(reader.real(id));
    } catch (const EServerError& e) {
        if (e.ErrorCode() != MethodNotFound)
            throw;
    }
    if (batch == 0) {
        apply(delta);
        return 0;
    }
    // The save joins the batch through its header, on this call only.
    const ScopedBatch inBatch(*m_net, batch);
    apply(delta);
    return batch;
}

qint64 ServerLink::openBatch(const QString& language, const QString& kind, const QString& origin)
{
    m_control.checkCancel();
    try {
        PacketReader reader(m_net->AppServer().Call(QStringLiteral("AbreLote"), {language, kind, origin}).Packet);
        const int id = fieldOf(reader, "IDLOTE");
        return reader.next() ? static_cast<qint64>(reader.real(id)) : 0;
    } catch (const EServerError& e) {
        if (e.ErrorCode() != MethodNotFound)
            throw;
    }
    return 0;
}

void ServerLink::applyInBatch(const QByteArray& delta, qint64 batch)
{
    if (batch == 0) {
        apply(delta);
        return;
    }
    const ScopedBatch inBatch(*m_net, batch);
    apply(delta);
    // The next calls of a long run may be cancelled again while they wait.
    m_net->OnWaiting = [this] { m_control.checkCancel(); };
}

QByteArray ServerLink::machineTranslations(const QString& language, const QByteArray& sources)
{
    return packet(QStringLiteral("Pedindo as traduções automáticas"), [&] {
        return m_net->AppServer().Call(QStringLiteral("GetTraducoesAutomaticas"), {language, sources}).Packet;
    });
}

QByteArray ServerLink::release(bool apply, const QString& file, int threshold, int vanishLimit, bool memory,
                               bool confirm)
{
    const QString step = apply ? QStringLiteral("Aplicando a liberação em %1").arg(m_net->Address())
                               : QStringLiteral("Calculando a prévia da liberação em %1").arg(m_net->Address());
    return packet(step, [&] {
        m_net->Open();
        return m_net->AppServer()
            .Call(apply ? QStringLiteral("AplicaLiberacao") : QStringLiteral("GetPreviaLiberacao"),
                  {file, threshold, vanishLimit, memory ? "S" : "N", confirm ? "S" : "N"})
            .Packet;
    });
}

QByteArray ServerLink::termCall(const QString& step, const QString& method, const TRemoteArgs& args, bool writes)
{
    if (!writes)
        return packet(step, [&] { return m_net->AppServer().Call(method, args).Packet; });
    m_control.checkCancel();
    m_control.report(step);
    m_net->OnWaiting = nullptr;
    QByteArray answer = m_net->AppServer().Call(method, args).Packet;
    m_net->OnWaiting = [this] { m_control.checkCancel(); };
    return answer;
}

} // namespace trd::exchange
