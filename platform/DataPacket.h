#pragma once
// The XML data packet of the client data set: the format in which the server
// answers, in which the change log (delta) travels back, and in which data sets
// are saved to files. Shared by the client data set and the server, so it works
// on UTF-8 bytes and never needs a display or a QString per value.
//
// Reading parses with pugixml in place; writing appends escaped text directly.
// Any fault in a packet raises EDBClient with a message naming what is wrong
// (and the field and row where there is one).
#include "Exceptions.h"
#include "TDateTime.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace trd {

class PacketSource;

// The four kinds of value our data sets hold. Packet field types map onto them:
// string, string.uni -> ftString; i1 i2 i4 i8 ui1 ui2 ui4 boolean -> ftInteger
// (boolean as 0/1); r8 fixed -> ftFloat; date time dateTime -> ftDateTime.
// A field without xmlType is written as string, i8, r8 or dateTime.
enum class TFieldType { ftString, ftInteger, ftFloat, ftDateTime };

struct PacketField {
    QByteArray name; // attrname, as UTF-8
    TFieldType type = TFieldType::ftString;
    int size = 0; // WIDTH of a string field, in characters
    QByteArray xmlType; // fieldtype as read ("string", "i4", "r8", ...); empty = default for type
    QByteArray subtype; // SUBTYPE, e.g. "Money"
    int decimals = 0; // DECIMALS of a fixed field
    bool required = false;
    bool readOnly = false;
    bool hidden = false;
};

// Row states of a delta packet; 0 = a plain data row.
enum RowState : int { rsNone = 0, rsOriginal = 1, rsDeleted = 2, rsInserted = 4, rsModified = 8 };

// Attributes of <PARAMS>, kept in order (e.g. DATASET_DELTA="1", LCID, CHANGE_LOG).
using PacketParams = std::vector<std::pair<QByteArray, QByteArray>>;

// Streams a packet into a UTF-8 buffer. Values are written per row in any order
// of fields; a field not written in a row is absent, which reads back as null
// (or, in a modified row of a delta, as unchanged).
class PacketWriter {
public:
    explicit PacketWriter(QByteArray& out);

    void begin(const std::vector<PacketField>& fields, const PacketParams& params = {});
    void beginRow(int rowState = rsNone);
    void string(int field, std::string_view utf8);
    void string(int field, const QString& text);
    void integer(int field, std::int64_t value);
    void real(int field, double value);
    void dateTime(int field, double dayCount); // days since 1899-12-30, fraction = time of day
    void endRow();
    void end();

private:
    QByteArray& m_out;
    std::vector<PacketField> m_fields;
};

// Reads a whole packet, in the XML form or the CBOR form. Rows are visited in order with next(); values are read
// by field index. Throws EDBClient for anything malformed: not XML, no METADATA
// or ROWDATA, unknown field type, the binary file form, a value over its WIDTH,
// a number or date that does not parse.
class PacketReader {
public:
    explicit PacketReader(QByteArray packet);
    // A CBOR packet read as it arrives (the values of a row valid until next()).
    explicit PacketReader(std::shared_ptr<PacketSource> source);
    ~PacketReader();
    PacketReader(const PacketReader&) = delete;
    PacketReader& operator=(const PacketReader&) = delete;

    const std::vector<PacketField>& fields() const;
    const PacketParams& params() const;
    bool isDelta() const; // PARAMS DATASET_DELTA="1"
    int fieldIndex(std::string_view name) const; // -1 when absent (case-sensitive)
    std::size_t rowCount() const; // rows to make room for (CBOR: see CborPacketReader)

    bool next(); // moves to the next row; false after the last
    int rowNumber() const; // 1-based number of the current row
    int rowState() const; // RowState attribute, rsNone when absent
    bool isNull(int field) const; // attribute absent
    std::string_view raw(int field) const; // unescaped UTF-8 text; empty when absent
    QString string(int field) const; // checked against the field's WIDTH
    std::int64_t integer(int field) const;
    double real(int field) const;
    double dateTime(int field) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// True when the bytes are the binary file form of a data packet (refused, never misread).
bool isBinaryPacket(const QByteArray& bytes);
// True when the bytes are the CBOR form (docs/data-packets.md): they start with
// the self-describe tag, which no XML text can.
bool isCborPacket(const QByteArray& bytes);

// Rules every packet form shares.
struct PacketType {
    const char* name; // the fieldtype as written
    TFieldType type;
    std::int64_t min; // the range of an integer type
    std::int64_t max;
};
const PacketType* findPacketType(std::string_view fieldtype); // any case; nullptr when unknown
bool isValidPacketName(std::string_view name);
bool isBooleanField(const PacketField& field);
PacketDateForm packetDateForm(const PacketField& field);
// Decodes UTF-8 into out (room for utf8.size() units) and sets length, in one
// pass; false (out left undefined) when the text is not valid UTF-8, holds
// U+0000 or a character outside Windows-1252: checkedPacketText names those.
bool decodeCodePageText(std::string_view utf8, char16_t* out, qsizetype& length);
// A present string value as the data set holds it, refused (EDBClient naming
// the field and the 1-based row) when over the field's WIDTH or outside the code page.
QString checkedPacketText(const PacketField& field, std::string_view utf8, int rowNumber);

} // namespace trd
