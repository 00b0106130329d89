#pragma once
// The rows of a client data set, column by column: one QString per string
// value (short repeated values share one string), numbers inline, a null flag
// per numeric value. Records are addressed by a stable id; order, deletion and
// the change log live in the data set, so a row never moves in memory.
//
// The long texts a packet brings are decoded into large blocks the store owns
// (QString::fromRawData over them): no allocation per value when loading, no
// freeing one by one when the rows go, and a reload reuses the blocks of the
// rows it replaces (and frees those it does not need). Such a text never leaves the store as it is: get() and
// variant() hand out copies that own their characters.
#include "DataPacket.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <vector>

namespace trd {

// One value outside the store: the edit buffer and the change log's originals.
struct CellValue {
    QString text;
    double number = 0; // float and date-time
    qint64 integer = 0;
    bool null = true;

    bool operator==(const CellValue& other) const;
};

using RecordValues = std::vector<CellValue>;

class RecordStore {
public:
    RecordStore() = default;
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Drops every row; the text blocks stay for the next load.
    void reset(std::vector<PacketField> fields);
    const std::vector<PacketField>& fields() const { return m_fields; }
    int fieldCount() const { return static_cast<int>(m_fields.size()); }
    int size() const { return m_size; }

    int append(); // a new record, every value null
    void popBack();
    void release(int record); // frees a dropped record's texts

    bool isNull(int record, int field) const;
    CellValue get(int record, int field) const;
    // A string value as stored, without a copy: valid until the store changes.
    QStringView textView(int record, int field) const
    {
        return m_columns[static_cast<std::size_t>(field)].text[static_cast<std::size_t>(record)];
    }
    void set(int record, int field, const CellValue& value);
    RecordValues getRecord(int record) const;
    void setRecord(int record, const RecordValues& values);
    QVariant variant(int record, int field) const;
    // Orders two records by one field: nulls first, texts by the code page's fold.
    int compare(int a, int b, int field) const;
    // Appends the primary key of that order for a string value (accents and
    // case folded) and returns its length; equal keys fall back to compare().
    qsizetype appendSortKey(int record, int field, std::vector<char16_t>& out) const;

    // Appends every row of the packet. packetField[i] is the packet's field for
    // our field i. Raises EDBClient (and leaves the rows read so far) when a
    // value does not fit, or whatever a packet still arriving raises when it
    // cannot arrive; the caller discards the store then.
    // `packetField`: the packet's column of each field, -1 for one it lacks (left null).
    void load(PacketReader& reader, const std::vector<int>& packetField);
    void writeRow(PacketWriter& writer, int record) const;

    static QVariant toVariant(TFieldType type, const CellValue& value);
    static void writeValue(PacketWriter& writer, TFieldType type, int field, const CellValue& value);

private:
    // Room for `units` characters in the text blocks.
    char16_t* textRoom(std::size_t units);
    void commitText(std::size_t units) { m_blockUsed += units; }
    static QString owned(const QString& text);

    struct Block {
        std::unique_ptr<char16_t[]> data;
        std::size_t size = 0;
    };
    std::vector<Block> m_blocks;
    std::size_t m_block = 0; // the block being filled
    std::size_t m_blockUsed = 0; // units used in it

    struct Column {
        std::vector<QString> text;
        std::vector<double> number;
        std::vector<qint64> integer;
        std::vector<bool> null;
    };
    std::vector<PacketField> m_fields;
    std::vector<Column> m_columns;
    std::vector<Column> m_spare; // emptied columns of the rows before, for the next load
    int m_size = 0;
};

} // namespace trd
