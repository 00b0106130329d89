#include "RecordStore.h"

#include "TDateTime.h"
#include "Win1252.h"

#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

namespace trd {

namespace {

// The letter a sort puts an accented letter with: users expect "Ação" beside
// "Acesso", not after "Zoom". Accents and case only break ties.
char16_t sortBase(char16_t ch)
{
    ch = win1252::upper(ch);
    if (ch < 0xC0)
        return ch;
    static constexpr char16_t kBase[] = {
        u'A', u'A', u'A', u'A', u'A', u'A', u'A', u'C', u'E', u'E', u'E', u'E', u'I', u'I', u'I', u'I', // C0-CF
        u'D', u'N', u'O', u'O', u'O', u'O', u'O', 0xD7, u'O', u'U', u'U', u'U', u'U', u'Y', 0xDE, 0xDF, // D0-DF
    };
    if (ch <= 0xDF)
        return kBase[ch - 0xC0];
    switch (ch) {
    case 0x0160:
        return u'S';
    case 0x017D:
        return u'Z';
    case 0x0178:
        return u'Y';
    case 0x0152:
        return u'O';
    default:
        return ch;
    }
}

int compareFolded(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    // constData(), not utf16(): the latter copies a text the string does not own.
    const char16_t* pa = reinterpret_cast<const char16_t*>(a.constData());
    const char16_t* pb = reinterpret_cast<const char16_t*>(b.constData());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ua = sortBase(pa[i]);
        const char16_t ub = sortBase(pb[i]);
        if (ua != ub)
            return ua < ub ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ua = win1252::upper(pa[i]);
        const char16_t ub = win1252::upper(pb[i]);
        if (ua != ub)
            return ua < ub ? -1 : 1;
    }
    const int exact = QString::compare(a, b);
    return exact < 0 ? -1 : (exact > 0 ? 1 : 0);
}

// Interns the short values of one column while a packet loads: open
// addressing, no allocation per lookup. The keys are copied into the pool (a
// packet read as it arrives reuses its bytes for the rows that follow).
class ValuePool {
public:
    const QString* find(std::string_view raw, std::uint32_t hash) const
    {
        if (m_slots.empty())
            return nullptr;
        for (std::size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
            const Slot& s = m_slots[i];
            if (!s.used)
                return nullptr;
            if (s.hash == hash && s.length == raw.size()
                && std::memcmp(m_keys.data() + s.key, raw.data(), raw.size()) == 0)
                return &s.value;
        }
    }
    void insert(std::string_view raw, std::uint32_t hash, const QString& value)
    {
        const std::size_t key = m_keys.size();
        m_keys.append(raw);
        place(key, static_cast<std::uint32_t>(raw.size()), hash, value);
    }
    std::size_t size() const { return m_used; }

    static std::uint32_t hashOf(std::string_view raw)
    {
        std::uint32_t h = 2166136261u;
        for (const char c : raw)
            h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
        return h;
    }

private:
    struct Slot {
        std::size_t key = 0; // where its bytes start in m_keys
        std::uint32_t length = 0;
        std::uint32_t hash = 0;
        bool used = false;
        QString value;
    };
    void place(std::size_t key, std::uint32_t length, std::uint32_t hash, const QString& value)
    {
        if ((m_used + 1) * 2 > m_slots.size())
            grow();
        std::size_t i = hash & m_mask;
        while (m_slots[i].used)
            i = (i + 1) & m_mask;
        m_slots[i] = {key, length, hash, true, value};
        ++m_used;
    }
    void grow()
    {
        std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
        m_mask = m_slots.size() - 1;
        m_used = 0;
        for (Slot& s : old) {
            if (s.used)
                place(s.key, s.length, s.hash, s.value);
        }
    }
    std::vector<Slot> m_slots;
    std::string m_keys;
    std::size_t m_mask = 0;
    std::size_t m_used = 0;
};

// Gives back what a column holds beyond its rows and an eighth: room made for
// more rows than came, or left by a larger load before.
template <typename Vector>
void trimRoom(Vector& v)
{
    if (v.capacity() > v.size() + v.size() / 8 + 1024)
        v.shrink_to_fit();
}

template <typename T>
int cmp(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

bool CellValue::operator==(const CellValue& other) const
{
    if (null != other.null)
        return false;
    if (null)
        return true;
    // Only the member of the field's kind is ever set; the others stay at rest.
    return text == other.text && number == other.number && integer == other.integer;
}

void RecordStore::reset(std::vector<PacketField> fields)
{
    m_fields = std::move(fields);
    // The columns of the rows that go are emptied and kept for the next
    // rows: a reload writes into memory already mapped instead of faulting
    // in fresh pages (load() gives back what it does not use).
    for (Column& c : m_columns) {
        c.text.clear();
        c.number.clear();
        c.integer.clear();
        c.null.clear();
        m_spare.push_back(std::move(c));
    }
    m_columns.clear();
    m_columns.reserve(m_fields.size());
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        if (m_spare.empty()) {
            m_columns.emplace_back();
        } else {
            m_columns.push_back(std::move(m_spare.back()));
            m_spare.pop_back();
        }
    }
    m_size = 0;
    m_block = 0;
    m_blockUsed = 0;
}

char16_t* RecordStore::textRoom(std::size_t units)
{
    constexpr std::size_t kBlockUnits = 512 * 1024; // 1 MB
    while (m_block < m_blocks.size() && m_blocks[m_block].size - m_blockUsed < units) {
        ++m_block;
        m_blockUsed = 0;
    }
    if (m_block == m_blocks.size()) {
        const std::size_t size = std::max(units, kBlockUnits);
        m_blocks.push_back({std::unique_ptr<char16_t[]>(new char16_t[size]), size});
        m_blockUsed = 0;
    }
    return m_blocks[m_block].data.get() + m_blockUsed;
}

// A text that may point into the blocks, as a string owning its characters.
QString RecordStore::owned(const QString& text)
{
    if (text.isNull() || text.data_ptr().isMutable())
        return text; // null, or already owning (shared by reference count)
    return QString(text.constData(), text.size());
}

int RecordStore::append()
{
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        Column& c = m_columns[f];
        if (m_fields[f].type == TFieldType::ftString) {
            c.text.emplace_back();
        } else {
            if (m_fields[f].type == TFieldType::ftInteger)
                c.integer.push_back(0);
            else
                c.number.push_back(0);
            c.null.push_back(true);
        }
    }
    return m_size++;
}

void RecordStore::popBack()
{
    if (m_size == 0)
        return;
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        Column& c = m_columns[f];
        if (m_fields[f].type == TFieldType::ftString) {
            c.text.pop_back();
        } else {
            if (m_fields[f].type == TFieldType::ftInteger)
                c.integer.pop_back();
            else
                c.number.pop_back();
            c.null.pop_back();
        }
    }
    --m_size;
}

void RecordStore::release(int record)
{
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        if (m_fields[f].type == TFieldType::ftString)
            m_columns[f].text[static_cast<std::size_t>(record)] = QString();
    }
}

bool RecordStore::isNull(int record, int field) const
{
    const auto r = static_cast<std::size_t>(record);
    const auto f = static_cast<std::size_t>(field);
    if (m_fields[f].type == TFieldType::ftString)
        return m_columns[f].text[r].isNull();
    return m_columns[f].null[r];
}

CellValue RecordStore::get(int record, int field) const
{
    const auto r = static_cast<std::size_t>(record);
    const auto f = static_cast<std::size_t>(field);
    const Column& c = m_columns[f];
    CellValue v;
    switch (m_fields[f].type) {
    case TFieldType::ftString:
        v.text = owned(c.text[r]);
        v.null = v.text.isNull();
        break;
    case TFieldType::ftInteger:
        v.null = c.null[r];
        v.integer = v.null ? 0 : c.integer[r];
        break;
    case TFieldType::ftFloat:
    case TFieldType::ftDateTime:
        v.null = c.null[r];
        v.number = v.null ? 0 : c.number[r];
        break;
    }
    return v;
}

void RecordStore::set(int record, int field, const CellValue& value)
{
    const auto r = static_cast<std::size_t>(record);
    const auto f = static_cast<std::size_t>(field);
    Column& c = m_columns[f];
    switch (m_fields[f].type) {
    case TFieldType::ftString:
        c.text[r] = value.null ? QString() : (value.text.isNull() ? QString(QLatin1StringView("")) : value.text);
        break;
    case TFieldType::ftInteger:
        c.null[r] = value.null;
        c.integer[r] = value.null ? 0 : value.integer;
        break;
    case TFieldType::ftFloat:
    case TFieldType::ftDateTime:
        c.null[r] = value.null;
        c.number[r] = value.null ? 0 : value.number;
        break;
    }
}

RecordValues RecordStore::getRecord(int record) const
{
    RecordValues values;
    values.reserve(m_fields.size());
    for (int f = 0; f < fieldCount(); ++f)
        values.push_back(get(record, f));
    return values;
}

void RecordStore::setRecord(int record, const RecordValues& values)
{
    for (int f = 0; f < fieldCount(); ++f)
        set(record, f, values[static_cast<std::size_t>(f)]);
}

QVariant RecordStore::toVariant(TFieldType type, const CellValue& value)
{
    if (value.null)
        return {};
    switch (type) {
    case TFieldType::ftString:
        return value.text;
    case TFieldType::ftInteger:
        return value.integer;
    case TFieldType::ftFloat:
        return value.number;
    case TFieldType::ftDateTime:
        return DateTimeToQDateTime(value.number);
    }
    return {};
}

QVariant RecordStore::variant(int record, int field) const
{
    const auto f = static_cast<std::size_t>(field);
    if (m_fields[f].type == TFieldType::ftString) {
        const QString& text = m_columns[f].text[static_cast<std::size_t>(record)];
        return text.isNull() ? QVariant() : QVariant(owned(text));
    }
    return toVariant(m_fields[f].type, get(record, field));
}

qsizetype RecordStore::appendSortKey(int record, int field, std::vector<char16_t>& out) const
{
    const QString& text = m_columns[static_cast<std::size_t>(field)].text[static_cast<std::size_t>(record)];
    const char16_t* src = reinterpret_cast<const char16_t*>(text.constData());
    for (qsizetype i = 0; i < text.size(); ++i)
        out.push_back(sortBase(src[i]));
    return text.size();
}

int RecordStore::compare(int a, int b, int field) const
{
    const auto f = static_cast<std::size_t>(field);
    const auto ra = static_cast<std::size_t>(a);
    const auto rb = static_cast<std::size_t>(b);
    const Column& c = m_columns[f];
    if (m_fields[f].type == TFieldType::ftString) {
        const QString& ta = c.text[ra];
        const QString& tb = c.text[rb];
        if (ta.isNull() || tb.isNull())
            return cmp(!ta.isNull(), !tb.isNull());
        return compareFolded(ta, tb);
    }
    const bool na = c.null[ra], nb = c.null[rb];
    if (na || nb)
        return cmp(!na, !nb);
    if (m_fields[f].type == TFieldType::ftInteger)
        return cmp(c.integer[ra], c.integer[rb]);
    return cmp(c.number[ra], c.number[rb]);
}

void RecordStore::load(PacketReader& reader, const std::vector<int>& packetField)
{
    const std::size_t rows = reader.rowCount();
    const std::size_t nf = m_fields.size();
    for (std::size_t f = 0; f < nf; ++f) {
        Column& c = m_columns[f];
        if (m_fields[f].type == TFieldType::ftString) {
            c.text.reserve(c.text.size() + rows);
        } else {
            c.null.reserve(c.null.size() + rows);
            (m_fields[f].type == TFieldType::ftInteger ? c.integer.reserve(c.integer.size() + rows)
                                                       : c.number.reserve(c.number.size() + rows));
        }
    }
    // Short fields (status, language, component, program) repeat the same few
    // values from row to row: one shared string per distinct value keeps the
    // memory per row small. Long texts are nearly all distinct and not pooled.
    constexpr int kShareWidth = 64;
    constexpr std::size_t kMaxShared = 20000;
    std::vector<ValuePool> shared(nf);
    std::vector<char> share(nf, 0);
    for (std::size_t f = 0; f < nf; ++f)
        share[f] = m_fields[f].type == TFieldType::ftString && m_fields[f].size > 0 && m_fields[f].size <= kShareWidth;

    while (reader.next()) {
        const int record = append();
        const auto r = static_cast<std::size_t>(record);
        for (std::size_t f = 0; f < nf; ++f) {
            const int pf = packetField[f];
            if (pf < 0 || reader.isNull(pf)) // a field the packet lacks stays null
                continue;
            const PacketField& field = m_fields[f];
            Column& c = m_columns[f];
            switch (field.type) {
            case TFieldType::ftString: {
                const std::string_view raw = reader.raw(pf);
                ValuePool& pool = shared[f];
                std::uint32_t hash = 0;
                if (share[f]) {
                    hash = ValuePool::hashOf(raw);
                    if (const QString* known = pool.find(raw, hash)) {
                        c.text[r] = *known;
                        break;
                    }
                }
                // Straight from the packet into the blocks; anything the fast
                // decoder does not take goes the checked way, which names the
                // fault. A shared value lies in the blocks once, and its rows
                // copy a pointer, not a reference count.
                QString text;
                char16_t* room = textRoom(raw.size());
                qsizetype length = 0;
                if (!raw.empty() && decodeCodePageText(raw, room, length)
                    && (field.size == 0 || length <= field.size)) {
                    commitText(static_cast<std::size_t>(length));
                    text = QString::fromRawData(reinterpret_cast<const QChar*>(room), length);
                } else {
                    text = reader.string(pf);
                    if (field.size > 0 && text.size() > field.size)
                        throw EDBClient(QStringLiteral("O valor do campo '%1' na linha %2 do pacote de dados excede o "
                                                       "tamanho do campo (%3 caracteres).")
                                            .arg(QString::fromUtf8(field.name))
                                            .arg(reader.rowNumber())
                                            .arg(field.size));
                }
                if (share[f]) {
                    if (pool.size() < kMaxShared)
                        pool.insert(raw, hash, text);
                    else
                        share[f] = 0; // not a field of few values after all
                }
                c.text[r] = std::move(text);
                break;
            }
            case TFieldType::ftInteger:
                if (reader.fields()[static_cast<std::size_t>(pf)].type == TFieldType::ftInteger) {
                    c.integer[r] = reader.integer(pf);
                } else { // a float packet field read into an integer field
                    const double v = std::round(reader.real(pf));
                    if (!(v >= -9.2e18 && v <= 9.2e18))
                        throw EDBClient(QStringLiteral("O valor do campo '%1' na linha %2 do pacote de dados está "
                                                       "fora dos limites.")
                                            .arg(QString::fromUtf8(field.name))
                                            .arg(reader.rowNumber()));
                    c.integer[r] = static_cast<qint64>(v);
                }
                c.null[r] = false;
                break;
            case TFieldType::ftFloat:
                c.number[r] = reader.fields()[static_cast<std::size_t>(pf)].type == TFieldType::ftInteger
                    ? static_cast<double>(reader.integer(pf))
                    : reader.real(pf);
                c.null[r] = false;
                break;
            case TFieldType::ftDateTime:
                c.number[r] = reader.dateTime(pf);
                c.null[r] = false;
                break;
            }
        }
    }
    // Blocks past the one in use held the texts of rows that are gone: a
    // smaller answer after a large one gives the memory back. So do the
    // columns, and the spare ones no load took.
    if (m_blocks.size() > m_block + 1)
        m_blocks.resize(m_block + 1);
    for (Column& c : m_columns) {
        trimRoom(c.text);
        trimRoom(c.number);
        trimRoom(c.integer);
        trimRoom(c.null);
    }
    m_spare.clear();
}

void RecordStore::writeValue(PacketWriter& writer, TFieldType type, int field, const CellValue& value)
{
    if (value.null)
        return;
    switch (type) {
    case TFieldType::ftString:
        writer.string(field, value.text);
        break;
    case TFieldType::ftInteger:
        writer.integer(field, value.integer);
        break;
    case TFieldType::ftFloat:
        writer.real(field, value.number);
        break;
    case TFieldType::ftDateTime:
        writer.dateTime(field, value.number);
        break;
    }
}

void RecordStore::writeRow(PacketWriter& writer, int record) const
{
    const auto r = static_cast<std::size_t>(record);
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        const Column& c = m_columns[f];
        const int fi = static_cast<int>(f);
        switch (m_fields[f].type) {
        case TFieldType::ftString:
            if (!c.text[r].isNull())
                writer.string(fi, c.text[r]);
            break;
        case TFieldType::ftInteger:
            if (!c.null[r])
                writer.integer(fi, c.integer[r]);
            break;
        case TFieldType::ftFloat:
            if (!c.null[r])
                writer.real(fi, c.number[r]);
            break;
        case TFieldType::ftDateTime:
            if (!c.null[r])
                writer.dateTime(fi, c.number[r]);
            break;
        }
    }
}

} // namespace trd
