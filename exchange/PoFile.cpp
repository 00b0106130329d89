#include "PoFile.h"

#include "FileBytes.h"
#include "UnitId.h"

#include <gettext-po.h>

#include <QRegularExpression>
#include <QtGlobal>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <unistd.h>

namespace trd::exchange {

namespace {

QString q(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Extracted comments we write, one per line.
constexpr std::string_view IdComment = "id: ";
// PO tells an untranslated message by its empty msgstr, and gettext drops
// "fuzzy" from such a message; a row that is translated or doubtful with an
// empty text says its status in this comment instead.
constexpr std::string_view EmptyTextStatusComment = "situação com tradução vazia: ";

// What gettext reported while reading: the first error, with its line. A
// fatal error must not return to gettext, so it leaves by an exception that
// readPo catches; the PO library's own allocations for that read are lost.
struct ErrorSink {
    int line = 0;
    QString message;
    bool failed = false;
};
thread_local ErrorSink* t_sink = nullptr;

struct FatalRead { };

void noteError(int severity, const char* message, std::size_t lineno)
{
    if (!t_sink)
        return;
    if (severity != PO_SEVERITY_WARNING && !t_sink->failed) {
        t_sink->failed = true;
        t_sink->line = static_cast<int>(lineno);
        t_sink->message = QString::fromUtf8(message ? message : "").trimmed();
    }
    if (severity == PO_SEVERITY_FATAL_ERROR)
        throw FatalRead{};
}

void xerror(int severity, po_message_t, const char*, size_t lineno, size_t, int, const char* text)
{
    noteError(severity, text, lineno);
}

void xerror2(int severity, po_message_t, const char*, size_t lineno, size_t, int, const char* text1, po_message_t,
             const char*, size_t, size_t, int, const char* text2)
{
    const std::string both = std::string(text1 ? text1 : "") + " " + (text2 ? text2 : "");
    noteError(severity, both.c_str(), lineno);
}

const po_xerror_handler Handler = {xerror, xerror2};

// gettext's writer and reader take two switches from the environment, read at
// every file: without them, every string it writes is converted through an
// iconv conversion opened for it alone and written a character at a time,
// and every file it reads is decoded a character at a time through iconv too.
// With them it takes its direct paths for UTF-8, which is all we write and
// all we accept; the file is the same byte for byte (tests/exchange). Set
// once for the process, through Qt's guarded environment, unless the user
// set them already.
void useDirectUtf8Paths()
{
    static const bool set = [] {
        for (const char* name : {"OLD_PO_FILE_OUTPUT", "OLD_PO_FILE_INPUT"})
            if (!qEnvironmentVariableIsSet(name))
                qputenv(name, "1");
        return true;
    }();
    (void)set;
}

struct PoFileDeleter {
    void operator()(po_file_t f) const { po_file_free(f); }
};
using PoFilePtr = std::unique_ptr<std::remove_pointer_t<po_file_t>, PoFileDeleter>;

// gettext hands some texts over as copies of its own for the caller to free:
// a file's header, a message's comments (each call a new one; "" itself, no
// copy, when a message has none).
struct FreeDeleter {
    void operator()(const char* text) const { std::free(const_cast<char*>(text)); }
};
using GettextCopy = std::unique_ptr<const char, FreeDeleter>;

struct IteratorDeleter {
    void operator()(po_message_iterator_t it) const { po_message_iterator_free(it); }
};
using IteratorPtr = std::unique_ptr<std::remove_pointer_t<po_message_iterator_t>, IteratorDeleter>;

// "2025-03-01 10:00-0300", the header's own date form.
std::string headerDate(const std::string& iso)
{
    // iso: YYYY-MM-DDTHH:MM:SS.mmm+HH:MM
    return iso.substr(0, 10) + " " + iso.substr(11, 5) + iso.substr(23, 3) + iso.substr(27, 2);
}

std::string headerText(const ExportHeader& header)
{
    const std::string time = formatExportTime(header.clock);
    return "Project-Id-Version: Trd09300 " + header.language
        + "\n"
          "POT-Creation-Date: "
        + headerDate(time)
        + "\n"
          "PO-Revision-Date: "
        + headerDate(time)
        + "\n"
          "Last-Translator: \n"
          "Language-Team: \n"
          "Language: "
        + header.language
        + "\n"
          "MIME-Version: 1.0\n"
          "Content-Type: text/plain; charset=UTF-8\n"
          "Content-Transfer-Encoding: 8bit\n"
          "X-Trd-Language: "
        + header.language
        + "\n"
          "X-Trd-Export-Time: "
        + time + "\n";
}

std::string field(const char* header, const char* name)
{
    if (!header)
        return {};
    char* value = po_header_field(header, name);
    if (!value)
        return {};
    std::string out(value);
    std::free(value);
    return out;
}

// The line of the n-th (1-based) occurrence of `needle`, 0 when not found.
int lineOfOccurrence(std::string_view bytes, std::string_view needle, int n)
{
    std::size_t pos = 0;
    for (int i = 0; i < n; ++i) {
        pos = bytes.find(needle, i == 0 ? 0 : pos + 1);
        if (pos == std::string_view::npos)
            return 0;
    }
    return LineIndex(bytes.substr(0, pos + 1)).lineAt(pos);
}

} // namespace

namespace {

// One piece of the file as gettext builds it: the header, then rows
// [begin, end), their keys kept for the check of the whole file.
PoFilePtr buildPo(const std::string& headerMsgstr, const std::vector<Row>& rows, std::size_t begin, std::size_t end,
                  std::vector<UnitKey>& keys)
{
    PoFilePtr file(po_file_create());
    IteratorPtr it(po_message_iterator(file.get(), nullptr));
    po_message_t head = po_message_create();
    po_message_set_msgid(head, "");
    po_message_set_msgstr(head, headerMsgstr.c_str());
    po_message_insert(it.get(), head);
    keys.reserve(keys.size() + (end - begin));
    std::string comments;
    for (std::size_t i = begin; i < end; ++i) {
        const Row& r = rows[i];
        keys.push_back(unitKey(r.program, r.component, r.source));
        const std::string id = unitId(keys.back());
        po_message_t m = po_message_create();
        po_message_set_msgctxt(m, poContext(r.program, r.component).c_str());
        po_message_set_msgid(m, r.source.c_str());
        // An untranslated row gives no text: PO says "untranslated" by an
        // empty msgstr, and an import leaves such a row's text as it is.
        po_message_set_msgstr(m, r.status == 'N' ? "" : r.destination.c_str());
        comments.assign(IdComment);
        comments += id;
        if (r.status != 'N' && r.destination.empty()) {
            comments += '\n';
            comments += EmptyTextStatusComment;
            comments += r.status;
        }
        po_message_set_extracted_comments(m, comments.c_str());
        if (r.status == 'D')
            po_message_set_fuzzy(m, 1);
        po_message_insert(it.get(), m);
    }
    return file;
}

// gettext's writer, with its errors gathered for this thread. Empty when it wrote the file.
QString writeWithGettext(po_file_t file, const std::string& path)
{
    ErrorSink sink;
    t_sink = &sink;
    try {
        po_file_write(file, path.c_str(), &Handler);
    } catch (const FatalRead&) {
    }
    t_sink = nullptr;
    if (sink.failed)
        return sink.message.isEmpty() ? QStringLiteral("erro do gettext") : sink.message;
    return {};
}

// A file in memory that gettext writes through its path in /proc, so that a
// piece written on a second thread cannot fail on the disk: gettext's error
// handler is process-wide, and one thread's write restores it while the
// other's may still be running.
class MemoryFile {
public:
    MemoryFile() : m_fd(memfd_create("trd-po-piece", MFD_CLOEXEC)) { }
    ~MemoryFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    bool isOpen() const { return m_fd >= 0; }
    std::string path() const { return "/proc/self/fd/" + std::to_string(m_fd); }
    // The first bytes, up to `limit` or the end.
    bool readStart(std::string& out, std::size_t limit) const
    {
        out.resize(limit);
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t got = ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(done));
            if (got < 0)
                return false;
            if (got == 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        out.resize(done);
        return true;
    }
    bool endsInNewline() const
    {
        const off_t size = ::lseek(m_fd, 0, SEEK_END);
        char last = 0;
        return size > 0 && ::pread(m_fd, &last, 1, size - 1) == 1 && last == '\n';
    }
    // Appends the bytes from `from` to the end to the file `out` inside the
    // kernel: a 30 MB file read into a buffer of ours first costs its page
    // faults twice, which on a virtual machine is as long as gettext's
    // building of a half.
    bool sendTo(int out, off_t from) const
    {
        const off_t size = ::lseek(m_fd, 0, SEEK_END);
        if (size < 0)
            return false;
        off_t at = from;
        while (at < size) {
            const ssize_t sent = ::sendfile(out, m_fd, &at, static_cast<std::size_t>(size - at));
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return false;
        }
        return true;
    }

private:
    int m_fd;
};

// Below this many rows one thread writes the file faster than two start.
constexpr std::size_t ParallelRows = 4000;

[[noreturn]] void failWriting(const QString& why)
{
    throw FileError(0, QStringLiteral("não foi possível gravar o arquivo PO: %1").arg(why));
}

[[noreturn]] void failWritingWithErrno()
{
    failWriting(q(std::strerror(errno)));
}

// `written` says whether everything reached `fd`; the file is on the disk, or
// the export fails, before `fd` is let go.
void syncAndClose(int fd, bool written)
{
    if (fd < 0)
        failWritingWithErrno();
    written = written && ::fdatasync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 && written)
        failWritingWithErrno();
    if (!written) {
        errno = error;
        failWritingWithErrno();
    }
}

} // namespace

void writePo(const ExportHeader& header, const std::vector<Row>& rows, const std::string& path, int pieces)
{
    useDirectUtf8Paths();
    const std::string headerMsgstr = headerText(header);
    if (pieces <= 0)
        pieces = rows.size() >= ParallelRows && std::thread::hardware_concurrency() > 1 ? 2 : 1;
    MemoryFile first, second;
    if (pieces < 2 || rows.size() < 2 || !first.isOpen() || !second.isOpen()) {
        std::vector<UnitKey> keys;
        PoFilePtr file = buildPo(headerMsgstr, rows, 0, rows.size(), keys);
        checkDistinctKeys(keys);
        const QString failure = writeWithGettext(file.get(), path);
        if (!failure.isEmpty())
            failWriting(failure);
        syncAndClose(::open(path.c_str(), O_RDONLY | O_CLOEXEC), true);
        return;
    }

    // Two halves, each a whole PO file with the same header, built and
    // written by gettext on its own thread. gettext prints each message on
    // its own, after one blank line, so the first half followed by the
    // second's messages is the very file one writer makes (tests/exchange).
    const std::size_t middle = rows.size() / 2;
    std::vector<UnitKey> keys, secondKeys;
    QString secondFailure;
    PoFilePtr secondFile;
    std::jthread worker([&] {
        secondFile = buildPo(headerMsgstr, rows, middle, rows.size(), secondKeys);
        secondFailure = writeWithGettext(secondFile.get(), second.path());
    });
    PoFilePtr firstFile = buildPo(headerMsgstr, rows, 0, middle, keys);
    const QString firstFailure = writeWithGettext(firstFile.get(), first.path());
    worker.join();
    // Both halves' messages go while the file is checked and put together.
    // A jthread: joined however this function is left.
    const std::jthread release([a = std::move(firstFile), b = std::move(secondFile)]() mutable {
        a.reset();
        b.reset();
    });
    keys.insert(keys.end(), secondKeys.begin(), secondKeys.end());
    checkDistinctKeys(keys);
    if (!firstFailure.isEmpty() || !secondFailure.isEmpty())
        failWriting(firstFailure.isEmpty() ? secondFailure : firstFailure);

    // The second half's header entry ends at its first blank line: no line
    // of a quoted string is empty. The header is a few hundred bytes; a
    // megabyte is ample.
    std::string start;
    if (!second.readStart(start, std::size_t(1) << 20))
        failWritingWithErrno();
    const std::size_t headerEnd = start.find("\n\n");
    if (headerEnd == std::string::npos || !first.endsInNewline())
        failWriting(QStringLiteral("o gettext gravou partes inesperadas."));
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    syncAndClose(out, out >= 0 && first.sendTo(out, 0) && second.sendTo(out, static_cast<off_t>(headerEnd + 1)));
}

namespace {

// The units of messages [begin, end), appended to `units`: the header and
// obsolete messages are none.
void unitsOfMessages(const std::vector<po_message_t>& messages, std::size_t begin, std::size_t end,
                     std::vector<Unit>& units)
{
    units.reserve(units.size() + (end - begin));
    for (std::size_t i = begin; i < end; ++i) {
        const po_message_t m = messages[i];
        const char* context = po_message_msgctxt(m);
        const std::string_view msgid = po_message_msgid(m);
        if ((msgid.empty() && !context) || po_message_is_obsolete(m))
            continue;
        Unit unit;
        unit.source = msgid;
        if (context) {
            std::string program, component;
            if (splitPoContext(context, program, component)) {
                unit.program = std::move(program);
                unit.component = std::move(component);
            }
        }
        const char* const commentText = po_message_extracted_comments(m);
        const GettextCopy commentCopy(*commentText ? commentText : nullptr);
        const std::string_view comments = commentText;
        char emptyTextStatus = 0;
        std::size_t start = 0;
        while (start < comments.size()) {
            std::size_t end = comments.find('\n', start);
            if (end == std::string_view::npos)
                end = comments.size();
            const std::string_view line = comments.substr(start, end - start);
            if (line.substr(0, IdComment.size()) == IdComment && unit.id.empty())
                unit.id = line.substr(IdComment.size());
            else if (line.size() == EmptyTextStatusComment.size() + 1
                     && line.substr(0, EmptyTextStatusComment.size()) == EmptyTextStatusComment
                     && (line.back() == 'T' || line.back() == 'D'))
                emptyTextStatus = line.back();
            start = end + 1;
        }
        const std::string_view msgstr = po_message_msgstr(m);
        if (po_message_msgid_plural(m))
            unit.problem = "formas de plural (msgid_plural) não são aceitas";
        if (po_message_is_fuzzy(m)) {
            unit.status = 'D';
            unit.target = std::string(msgstr);
        } else if (!msgstr.empty()) {
            unit.status = 'T';
            unit.target = std::string(msgstr);
        } else if (emptyTextStatus) {
            unit.status = emptyTextStatus;
            unit.target = std::string();
        } else {
            unit.status = 'N'; // untranslated: the row keeps its text
        }
        units.push_back(std::move(unit));
    }
}

} // namespace

Document readPo(const std::string& path, std::string_view bytes)
{
    checkUtf8File(bytes);
    useDirectUtf8Paths();
    ErrorSink sink;
    PoFilePtr file;
    // gettext reads on a thread of its own, and its messages are freed there
    // too (below): its hundreds of thousands of small blocks stay in that
    // thread's heap, and the caller's heap, where the import's next steps
    // work, is left as it was.
    std::jthread reader([&] {
        t_sink = &sink;
        try {
            file.reset(po_file_read(path.c_str(), &Handler));
        } catch (const FatalRead&) {
        }
        t_sink = nullptr;
    });
    reader.join();
    if (sink.failed || !file)
        throw FileError(sink.line,
                        sink.message.isEmpty() ? QStringLiteral("o arquivo PO não pôde ser lido.")
                                               : QStringLiteral("PO malformado (%1).").arg(sink.message));

    Document doc;
    doc.format = Format::Po;
    const GettextCopy headerCopy(po_file_domain_header(file.get(), nullptr));
    const char* const header = headerCopy.get();
    const std::string contentType = field(header, "Content-Type");
    static const QRegularExpression charsetRe(QStringLiteral("charset=([^;\\s]+)"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch charset = charsetRe.match(q(contentType));
    if (charset.hasMatch() && charset.captured(1).compare(QStringLiteral("UTF-8"), Qt::CaseInsensitive) != 0
        && charset.captured(1) != QStringLiteral("CHARSET")
        && charset.captured(1).compare(QStringLiteral("ASCII"), Qt::CaseInsensitive) != 0)
        throw FileError(lineOfOccurrence(bytes, "charset=", 1),
                        QStringLiteral("o arquivo PO declara charset=%1; só UTF-8 é aceito.").arg(charset.captured(1)));
    doc.language = field(header, "X-Trd-Language");
    if (doc.language.empty())
        doc.language = field(header, "Language");
    doc.exportTime = field(header, "X-Trd-Export-Time");

    // The messages are only read from here on, which gettext's accessors do
    // without touching any state of the library: the two halves become units
    // on two threads.
    std::vector<po_message_t> messages;
    {
        IteratorPtr it(po_message_iterator(file.get(), nullptr));
        while (po_message_t m = po_next_message(it.get()))
            messages.push_back(m);
    }
    doc.units.reserve(messages.size());
    std::vector<Unit> secondHalf;
    const std::size_t middle = messages.size() >= ParallelRows ? messages.size() / 2 : messages.size();
    std::jthread worker;
    if (middle < messages.size())
        worker = std::jthread([&] { unitsOfMessages(messages, middle, messages.size(), secondHalf); });
    unitsOfMessages(messages, 0, middle, doc.units);
    if (worker.joinable())
        worker.join();
    std::move(secondHalf.begin(), secondHalf.end(), std::back_inserter(doc.units));
    secondHalf = {};
    messages = {};
    // The file's messages go while the ids are compared: nothing refers to them now.
    const std::jthread release([released = std::move(file)]() mutable { released.reset(); });
    if (const auto twin = findRepeatedId(doc.units)) {
        // gettext keeps no line per message: the id's comment tells where.
        const std::string& id = doc.units[twin->second].id;
        const std::string needle = "#. " + std::string(IdComment) + id;
        throw FileError(lineOfOccurrence(bytes, needle, 2),
                        QStringLiteral("a identificação \"%1\" se repete (já usada na linha %2).")
                            .arg(q(id))
                            .arg(lineOfOccurrence(bytes, needle, 1)));
    }
    return doc;
}

} // namespace trd::exchange
