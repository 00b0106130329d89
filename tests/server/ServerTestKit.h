#pragma once
// Helpers of the server tests: building requests and packets (deltas, files of
// listed rows), reading answers back through the platform's packet reader, and
// an in-process server over a temporary SQLite file with a settable clock.
#include "ServerContext.h"
#include "Storage.h"

#include <QTemporaryDir>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace trd::server::test {

using Row = std::map<std::string, std::string>;

struct Answer {
    bool ok = false;
    int code = 0;
    std::string message;
    struct Field {
        std::string name, type;
        int width = 0;
    };
    std::vector<Field> fields;
    std::vector<Row> rows;
};

// Reads a JSON-RPC answer body; a result packet is read with PacketReader.
Answer parseAnswer(const std::string& body);

std::string json(std::string_view text); // a JSON string literal
std::string date(double dayCount); // {"date":D}
std::string request(const std::string& method, const std::string& params, int id = 1);

struct TRow {
    std::string lang, prog, comp, src, dst, status;
};

// A delta packet of the translation row, as the editor's change log sends it.
class DeltaBuilder {
public:
    DeltaBuilder& modify(const TRow& original, std::optional<std::string> dst, std::optional<std::string> status = {});
    DeltaBuilder& remove(const TRow& original);
    DeltaBuilder& insert(const TRow& row);
    std::string xml() const;

private:
    struct Entry {
        int state;
        TRow row;
        std::optional<std::string> dst, status;
    };
    std::vector<Entry> m_entries;
};

struct Listed {
    std::string prog, comp;
    std::optional<std::string> src;
    std::string kind; // "E" size error, "N" not translated
    std::optional<std::string> lang;
};
std::string listedRowsPacket(const std::vector<Listed>& rows);

// A server in process: the real methods and storage on a temporary file.
class InProcessServer {
public:
    InProcessServer(); // SQLite in a temporary folder
    explicit InProcessServer(std::unique_ptr<StorageBackend> backend);
    ~InProcessServer();

    // Languages ENG, ESP (and any rows given); dates as day counts.
    void seed(const std::vector<TRow>& rows, double changed = 46000.5);
    void seedAt(const TRow& row, double changed);
    Answer call(const std::string& method, const std::string& params);
    // As a call with these headers (the X-Trd-Lote batch, a token).
    Answer call(const std::string& method, const std::string& params, const CallContext& context);
    std::string callRaw(const std::string& body);

    void setNow(double now) { m_now = now; }
    ServerContext& context() { return *m_context; }
    std::string path() const;

private:
    QTemporaryDir m_dir;
    double m_now = 46000.5;
    std::unique_ptr<ServerContext> m_context;
};

// Every row of a language, by GetDestino with all statuses and no dates.
std::vector<Row> allRows(InProcessServer& server, const std::string& lang);

} // namespace trd::server::test
