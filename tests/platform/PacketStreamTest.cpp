// A CBOR packet read as it arrives: whatever the sizes of the pieces it comes
// in, the data set ends up with exactly the rows the whole packet gives; and
// a packet that stops coming (cut, failed, reported as failed by its writer)
// leaves the data set closed and empty, never holding the rows so far.
#include "Cbor.h"
#include "CborPacketWriter.h"
#include "DataPacket.h"
#include "PacketStream.h"
#include "TClientDataSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace trd;

namespace {

PacketField field(const char* name, TFieldType type, const char* xmlType, int size = 0)
{
    PacketField f;
    f.name = name;
    f.type = type;
    f.xmlType = xmlType;
    f.size = size;
    return f;
}

std::vector<PacketField> fields()
{
    return {field("TEXTO", TFieldType::ftString, "string", 0), field("SIT", TFieldType::ftString, "string", 1),
            field("QTD", TFieldType::ftInteger, "i4"), field("VALOR", TFieldType::ftFloat, "r8"),
            field("DATA", TFieldType::ftDateTime, "dateTime")};
}

// Rows of every kind of value, some texts long, one longer than the reader's
// window, nulls among them; written as an open list of rows, as the server
// writes a large answer.
std::string openPacket(int rows, bool hugeRow = true)
{
    std::string out;
    CborPacketWriter w(out);
    w.beginOpen(fields());
    for (int i = 0; i < rows; ++i) {
        w.beginRow();
        if (i % 13 != 4) {
            std::string text = "Texto nº " + std::to_string(i) + " com \"aspas\" & ação";
            if (i % 97 == 5)
                text += std::string(3000 + i, 'x');
            if (hugeRow && i == rows / 2)
                text += std::string(2500000, 'y');
            w.string(0, text);
        }
        w.string(1, i % 3 == 0 ? "T" : i % 3 == 1 ? "D" : "N");
        if (i % 7 != 2)
            w.integer(2, i * 1000 - 5);
        w.real(3, i * 0.25);
        w.dateTime(4, 45000 + i / 10.0);
        w.endRow();
    }
    w.end();
    return out;
}

// Hands a packet over in pieces of the given sizes (cycled), then, when set,
// fails where `failAt` bytes have gone, as a dropped connection does.
class PieceSource : public PacketSource {
public:
    PieceSource(std::string bytes, std::vector<std::size_t> pieces, std::size_t failAt = std::string::npos)
        : m_bytes(std::move(bytes)), m_pieces(std::move(pieces)), m_failAt(failAt)
    {
    }
    std::size_t read(char* out, std::size_t room) override
    {
        if (m_at >= m_failAt)
            throw std::runtime_error("conexão interrompida");
        std::size_t n = std::min({room, m_pieces[m_next++ % m_pieces.size()], m_bytes.size() - m_at});
        if (m_failAt != std::string::npos)
            n = std::min(n, m_failAt - m_at);
        std::copy_n(m_bytes.data() + m_at, n, out);
        m_at += n;
        ++reads;
        return n;
    }
    std::size_t limit() const override { return m_bytes.size() - m_at; }
    [[noreturn]] void failed(std::int64_t code, const QString& message) override
    {
        failedCode = code;
        failedMessage = message;
        throw std::runtime_error("falha relatada");
    }

    int reads = 0;
    std::int64_t failedCode = 0;
    QString failedMessage;

private:
    std::string m_bytes;
    std::vector<std::size_t> m_pieces;
    std::size_t m_failAt;
    std::size_t m_at = 0;
    std::size_t m_next = 0;
};

// A data set already holding rows, so a failed load can be seen to leave none.
void preload(TClientDataSet& ds)
{
    ds.SetData(QByteArray::fromStdString(openPacket(5, false)));
    ASSERT_EQ(ds.RecordCount(), 5);
}

} // namespace

TEST(PacketStream, RowsArrivingInPiecesOfAnySizeLoadAsTheWholePacketDoes)
{
    std::mt19937 random(7);
    std::vector<std::size_t> odd;
    for (int i = 0; i < 50; ++i)
        odd.push_back(1 + random() % 20000);
    // Pieces of a byte or a few are read again from each row's start, so
    // they come with a smaller packet; one row larger than the reader's
    // window comes in larger pieces.
    const std::pair<std::string, std::vector<std::vector<std::size_t>>> cases[] = {
        {openPacket(300, false), {{1}, {7}, {2, 5, 11}}},
        {openPacket(1500), {{4096}, {65536, 3}, {1 << 20}, {std::size_t(1) << 30}, odd}},
    };
    for (const auto& [packet, sizes] : cases) {
        TClientDataSet whole;
        whole.SetData(QByteArray::fromStdString(packet));
        const QByteArray expected = whole.Data();
        for (const std::vector<std::size_t>& pieces : sizes) {
            auto source = std::make_shared<PieceSource>(packet, pieces);
            TClientDataSet ds;
            int opened = 0;
            ds.AfterOpen = [&](TClientDataSet*) { ++opened; };
            ds.SetData(ServerPacket(source));
            EXPECT_EQ(ds.RecordCount(), whole.RecordCount()) << pieces[0];
            EXPECT_EQ(opened, 1) << pieces[0];
            EXPECT_EQ(ds.RecNo(), 1) << pieces[0];
            EXPECT_EQ(ds.Data(), expected) << pieces[0];
        }
    }
    TClientDataSet huge;
    huge.SetData(QByteArray::fromStdString(cases[1].first));
    EXPECT_EQ(huge.RecordCount(), 1500);
    huge.SetRecNo(751);
    EXPECT_TRUE(huge.FieldByName(QStringLiteral("TEXTO"))->AsString().endsWith(QString(2500000, QLatin1Char('y'))));
}

// The connection dropping anywhere: the source's own exception reaches the
// caller (not a packet fault), and no row of the part that came stays.
TEST(PacketStream, APacketThatStopsComingLeavesTheDataSetClosedAndEmpty)
{
    const std::string packet = openPacket(400, false);
    for (std::size_t cut = 0; cut < packet.size(); cut += 1 + cut / 9) {
        TClientDataSet ds;
        preload(ds);
        int opened = 0;
        ds.AfterOpen = [&](TClientDataSet*) { ++opened; };
        try {
            ds.SetData(ServerPacket(std::make_shared<PieceSource>(packet, std::vector<std::size_t>{1500}, cut)));
            ADD_FAILURE() << "a packet cut at " << cut << " loaded";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "conexão interrompida");
        }
        EXPECT_FALSE(ds.Active()) << cut;
        EXPECT_EQ(ds.RecordCount(), 0) << cut;
        EXPECT_EQ(opened, 0) << cut;
    }
    // A source that just ends early: the packet is incomplete, a packet fault.
    for (const std::size_t end : {std::size_t(10), packet.size() / 2, packet.size() - 1}) {
        TClientDataSet ds;
        preload(ds);
        try {
            ds.SetData(
                ServerPacket(std::make_shared<PieceSource>(packet.substr(0, end), std::vector<std::size_t>{777})));
            ADD_FAILURE() << "a packet ending at " << end << " loaded";
        } catch (const EDBClient& e) {
            // (Cut inside its head, the packet declares more than can come.)
            EXPECT_TRUE(end == 10 || e.Message().contains(QStringLiteral("pacote truncado")))
                << e.Message().toStdString();
        }
        EXPECT_FALSE(ds.Active());
        EXPECT_EQ(ds.RecordCount(), 0);
    }
    // Bytes after the packet's end are no part of it.
    TClientDataSet ds;
    EXPECT_THROW(ds.SetData(ServerPacket(std::make_shared<PieceSource>(packet + '\0', std::vector<std::size_t>{4096}))),
                 EDBClient);
    EXPECT_FALSE(ds.Active());
}

// A writer that fails after its first rows went out puts its failure where
// the next row would be: the reader hands it to the source (which tells the
// user the writer's message), or, for a packet read whole, raises it.
TEST(PacketStream, AFailureReportInPlaceOfARowFailsTheLoadWithItsMessage)
{
    std::string packet = openPacket(200, false);
    packet.pop_back(); // the break that ends the rows
    const std::string message = "O banco de dados do servidor está danificado; a operação não foi feita.";
    CborPacketWriter::appendFailure(packet, -32603, message);

    auto source = std::make_shared<PieceSource>(packet, std::vector<std::size_t>{333});
    TClientDataSet ds;
    preload(ds);
    EXPECT_THROW(ds.SetData(ServerPacket(source)), std::runtime_error);
    EXPECT_EQ(source->failedCode, -32603);
    EXPECT_EQ(source->failedMessage, QString::fromStdString(message));
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.RecordCount(), 0);

    preload(ds);
    try {
        ds.SetData(QByteArray::fromStdString(packet));
        ADD_FAILURE() << "a packet ending in a failure report loaded";
    } catch (const EDBClient& e) {
        EXPECT_EQ(e.Message(), QString::fromStdString(message));
    }
    EXPECT_FALSE(ds.Active());

    // Only an open list of rows ends that way; in a counted one a map is no row.
    std::string counted;
    CborPacketWriter w(counted);
    w.begin(fields());
    w.end();
    counted.resize(counted.size() - 9);
    cbor::appendHead(counted, cbor::Array, 1);
    CborPacketWriter::appendFailure(counted, -32603, message);
    try {
        ds.SetData(QByteArray::fromStdString(counted));
        ADD_FAILURE() << "a failure report in a counted list loaded";
    } catch (const EDBClient& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("uma linha não é uma lista"))) << e.Message().toStdString();
    }
}

// A packet read as bytes (ServerPacket copied or converted) reads its source
// to the end first: the same packet, and the source's failure if it fails.
TEST(PacketStream, AStreamReadAsBytesIsTheWholePacket)
{
    const std::string packet = openPacket(50, false);
    const ServerPacket stream(std::make_shared<PieceSource>(packet, std::vector<std::size_t>{100}));
    EXPECT_TRUE(stream.isStream());
    const QByteArray bytes = stream;
    EXPECT_EQ(bytes, QByteArray::fromStdString(packet));
    EXPECT_FALSE(stream.isStream());
    const ServerPacket failing(std::make_shared<PieceSource>(packet, std::vector<std::size_t>{100}, 1000));
    EXPECT_THROW(failing.bytes(), std::runtime_error);
}
