#include "ServerTestKit.h"

#include "DataPacket.h"
#include "Json.h"
#include "SqliteStorage.h"

#include <charconv>

namespace trd::server::test {

Answer parseAnswer(const std::string& body)
{
    Answer answer;
    const JsonValue v = parseJson(body);
    if (const JsonValue* error = v.find("error")) {
        answer.code = static_cast<int>(error->find("code")->number());
        answer.message = error->find("message")->string();
        return answer;
    }
    answer.ok = true;
    trd::PacketReader reader(QByteArray::fromStdString(v.find("result")->string()));
    for (const auto& f : reader.fields())
        answer.fields.push_back({f.name.toStdString(), f.xmlType.toStdString(), f.size});
    while (reader.next()) {
        Row row;
        for (std::size_t i = 0; i < reader.fields().size(); ++i)
            if (!reader.isNull(static_cast<int>(i)))
                row[answer.fields[i].name] = std::string(reader.raw(static_cast<int>(i)));
        answer.rows.push_back(std::move(row));
    }
    return answer;
}

std::string json(std::string_view text)
{
    std::string out;
    appendJsonString(out, text);
    return out;
}

std::string date(double dayCount)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, dayCount);
    return "{\"date\":" + std::string(buf, res.ptr) + "}";
}

std::string request(const std::string& method, const std::string& params, int id)
{
    return "{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(id) + ",\"method\":" + json(method) + ",\"params\":["
        + params + "]}";
}

namespace {

std::vector<trd::PacketField> rowFields()
{
    auto field = [](const char* name, int size) {
        trd::PacketField f;
        f.name = name;
        f.size = size;
        return f;
    };
    return {field("STAGRVALPROP", 4000), field("STVALORPROP", 4000), field("IDSITTRADUCAO", 1),
            field("IDIDIOMA", 3),        field("NMCOMPONENTE", 50),  field("CDPROGTRAD", 20)};
}

void writeAll(trd::PacketWriter& w, const TRow& r)
{
    w.string(0, std::string_view(r.src));
    w.string(1, std::string_view(r.dst));
    w.string(2, std::string_view(r.status));
    w.string(3, std::string_view(r.lang));
    w.string(4, std::string_view(r.comp));
    w.string(5, std::string_view(r.prog));
}

} // namespace

DeltaBuilder& DeltaBuilder::modify(const TRow& original, std::optional<std::string> dst,
                                   std::optional<std::string> status)
{
    m_entries.push_back({trd::rsModified, original, std::move(dst), std::move(status)});
    return *this;
}

DeltaBuilder& DeltaBuilder::remove(const TRow& original)
{
    m_entries.push_back({trd::rsDeleted, original, {}, {}});
    return *this;
}

DeltaBuilder& DeltaBuilder::insert(const TRow& row)
{
    m_entries.push_back({trd::rsInserted, row, {}, {}});
    return *this;
}

std::string DeltaBuilder::xml() const
{
    QByteArray out;
    trd::PacketWriter w(out);
    w.begin(rowFields(), {{"DATASET_DELTA", "1"}});
    for (const auto& e : m_entries) {
        if (e.state == trd::rsModified) {
            w.beginRow(trd::rsOriginal);
            writeAll(w, e.row);
            w.endRow();
            w.beginRow(trd::rsModified);
            if (e.dst)
                w.string(1, std::string_view(*e.dst));
            if (e.status)
                w.string(2, std::string_view(*e.status));
            w.endRow();
        } else {
            w.beginRow(e.state);
            writeAll(w, e.row);
            w.endRow();
        }
    }
    w.end();
    return out.toStdString();
}

std::string listedRowsPacket(const std::vector<Listed>& rows)
{
    auto field = [](const char* name, int size) {
        trd::PacketField f;
        f.name = name;
        f.size = size;
        return f;
    };
    QByteArray out;
    trd::PacketWriter w(out);
    w.begin({field("IDIDIOMA", 3), field("CDPROGTRAD", 20), field("NMCOMPONENTE", 50), field("STAGRVALPROP", 4000),
             field("TPLISTA", 1)});
    for (const auto& r : rows) {
        w.beginRow();
        if (r.lang)
            w.string(0, std::string_view(*r.lang));
        w.string(1, std::string_view(r.prog));
        w.string(2, std::string_view(r.comp));
        if (r.src)
            w.string(3, std::string_view(*r.src));
        w.string(4, std::string_view(r.kind));
        w.endRow();
    }
    w.end();
    return out.toStdString();
}

InProcessServer::InProcessServer() : InProcessServer(std::unique_ptr<StorageBackend>())
{
}

InProcessServer::InProcessServer(std::unique_ptr<StorageBackend> backend)
{
    if (!backend)
        backend = std::make_unique<SqliteStorage>(path(), SqliteStorage::creating());
    m_context = std::make_unique<ServerContext>(std::move(backend), [this] { return m_now; });
    m_context->writer().runExclusive([](StorageWriter& w) {
        w.putLanguage({"ENG", "Inglês", "POR"});
        w.putLanguage({"ESP", "Espanhol", "POR"});
    });
}

InProcessServer::~InProcessServer() = default;

std::string InProcessServer::path() const
{
    return m_dir.filePath(QStringLiteral("trd.db")).toStdString();
}

void InProcessServer::seed(const std::vector<TRow>& rows, double changed)
{
    m_context->writer().runExclusive([&](StorageWriter& w) {
        for (const auto& r : rows)
            w.insertRow({{r.lang, r.prog, r.comp, r.src}, r.dst, r.status, changed}, changed);
    });
}

void InProcessServer::seedAt(const TRow& row, double changed)
{
    seed({row}, changed);
}

std::string InProcessServer::callRaw(const std::string& body)
{
    return m_context->handler().handle(body).body;
}

Answer InProcessServer::call(const std::string& method, const std::string& params)
{
    return parseAnswer(callRaw(request(method, params)));
}

Answer InProcessServer::call(const std::string& method, const std::string& params, const CallContext& context)
{
    return parseAnswer(m_context->handler().handle(request(method, params), context).body);
}

std::vector<Row> allRows(InProcessServer& server, const std::string& lang)
{
    return server.call("GetDestino", "\"T\",\"D\",\"N\"," + json(lang) + ",0,0,\"\"").rows;
}

} // namespace trd::server::test
