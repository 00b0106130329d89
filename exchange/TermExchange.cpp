#include "TermExchange.h"

#include "DataPacket.h"
#include "TSocketConnection.h"
#include "TermText.h"
#include "Win1252.h"

#include <QHash>

namespace trd::exchange {

namespace {

// The server's field sizes, in characters (docs/protocol.md, "Glossary").
constexpr qsizetype TermChars = 200, ListChars = 1000, NoteChars = 1000, ProgramChars = 20;

QString q(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

using termtext::collapsed;
using termtext::normalisedList;

// The words in capitals (the code page's fold, as the server's key) and the program.
QString keyOf(const TermEntry& t)
{
    QString key = q(collapsed(t.source));
    for (QChar& c : key)
        c = QChar(win1252::upper(c.unicode()));
    return key + QChar(u'\n') + q(t.program);
}

QString refusalOf(const TermEntry& t)
{
    if (t.source.empty())
        return QStringLiteral("o termo está em branco");
    if (t.source.find('\n') != std::string::npos)
        return QStringLiteral("o termo é uma linha só (as traduções vão uma por linha, o termo não)");
    const struct {
        const std::string& text;
        qsizetype max;
        const char* name;
    } fields[] = {{t.source, TermChars, "o termo"},
                  {t.preferred, ListChars, "a lista das traduções preferidas"},
                  {t.forbidden, ListChars, "a lista das traduções proibidas"},
                  {t.note, NoteChars, "a nota"},
                  {t.program, ProgramChars, "a tela"}};
    for (const auto& f : fields) {
        const QString text = q(f.text);
        if (const qsizetype at = win1252::firstUnrepresentable(text); at >= 0)
            return QStringLiteral("%1 tem \"%2\", que não existe no Windows-1252")
                .arg(QString::fromUtf8(f.name), text.mid(at, text.at(at).isHighSurrogate() ? 2 : 1));
        if (text.size() > f.max)
            return QStringLiteral("%1 tem mais de %2 caracteres").arg(QString::fromUtf8(f.name)).arg(f.max);
    }
    return {};
}

QString trimmed(const std::string& text)
{
    return q(text).trimmed();
}

// Blanks at the ends of a note or a program say nothing: files and
// spreadsheets drop them.
bool sameValues(const TermEntry& a, const TermEntry& b)
{
    return a.source == b.source && a.preferred == b.preferred && a.forbidden == b.forbidden
        && a.doNotTranslate == b.doNotTranslate && trimmed(a.note) == trimmed(b.note)
        && trimmed(a.program) == trimmed(b.program);
}

int fieldOf(const PacketReader& reader, const char* name)
{
    const int index = reader.fieldIndex(name);
    if (index < 0)
        throw ExchangeError(QStringLiteral("A resposta do servidor não traz o campo %1.").arg(QLatin1String(name)));
    return index;
}

TRemoteArgs valuesOf(const TermEntry& t)
{
    return {q(t.source), q(t.preferred), q(t.forbidden), t.doNotTranslate ? QStringLiteral("S") : QStringLiteral("N"),
            q(t.note),   q(t.program)};
}

} // namespace

QString termOutcomeName(TermOutcome outcome)
{
    switch (outcome) {
    case TermOutcome::New:
        return QStringLiteral("novos");
    case TermOutcome::Changed:
        return QStringLiteral("alterados");
    case TermOutcome::Same:
        return QStringLiteral("sem mudança");
    case TermOutcome::Refused:
        break;
    }
    return QStringLiteral("recusados");
}

TermPlan planTermImport(TermFile& file, const std::vector<ServerTerm>& current)
{
    QHash<QString, int> onServer;
    for (std::size_t i = 0; i < current.size(); ++i)
        onServer.insert(keyOf(current[i].values), static_cast<int>(i));
    QHash<QString, int> inFile;
    TermPlan plan;
    for (std::size_t i = 0; i < file.terms.size(); ++i) {
        TermEntry& t = file.terms[i];
        // A term's words are one line: a line break in them is refused, not joined.
        t.source = t.source.find('\n') == std::string::npos ? collapsed(t.source) : t.source;
        t.preferred = normalisedList(t.preferred);
        t.forbidden = normalisedList(t.forbidden);
        TermPlanEntry e;
        e.term = static_cast<int>(i);
        e.reason = refusalOf(t);
        const QString key = keyOf(t);
        if (e.reason.isEmpty()) {
            if (const auto twin = inFile.constFind(key); twin != inFile.constEnd()) {
                const int line = file.terms[static_cast<std::size_t>(*twin)].line;
                e.reason = line > 0 ? QStringLiteral("repete o termo da linha %1").arg(line)
                                    : QStringLiteral("repete um termo do arquivo");
            }
        }
        if (!e.reason.isEmpty()) {
            e.outcome = TermOutcome::Refused;
        } else {
            inFile.insert(key, e.term);
            const auto found = onServer.constFind(key);
            if (found == onServer.constEnd()) {
                e.outcome = TermOutcome::New;
            } else {
                e.current = *found;
                const TermEntry& was = current[static_cast<std::size_t>(*found)].values;
                if (!file.given.preferred)
                    t.preferred = was.preferred;
                if (!file.given.forbidden)
                    t.forbidden = was.forbidden;
                if (!file.given.doNotTranslate)
                    t.doNotTranslate = was.doNotTranslate;
                if (!file.given.note)
                    t.note = was.note;
                e.outcome = sameValues(t, current[static_cast<std::size_t>(*found)].values) ? TermOutcome::Same
                                                                                            : TermOutcome::Changed;
            }
        }
        ++plan.counts[static_cast<std::size_t>(e.outcome)];
        plan.entries.push_back(std::move(e));
    }
    return plan;
}

std::vector<ServerTerm> readServerTerms(ServerLink& link, const QString& language)
{
    PacketReader reader(link.termCall(QStringLiteral("Lendo o glossário de %1").arg(language),
                                      QStringLiteral("GetTermos"), {language}, false));
    const int id = fieldOf(reader, "IDTERMO"), source = fieldOf(reader, "DSTERMO"),
              preferred = fieldOf(reader, "DSPREFERIDAS"), forbidden = fieldOf(reader, "DSPROIBIDAS"),
              keep = fieldOf(reader, "FLNAOTRADUZIR"), note = fieldOf(reader, "DSNOTA"),
              program = fieldOf(reader, "CDPROGTRAD"), changed = fieldOf(reader, "DTALTERACAO");
    std::vector<ServerTerm> terms;
    while (reader.next()) {
        ServerTerm t;
        t.id = static_cast<qint64>(reader.real(id));
        t.values.source = reader.raw(source);
        t.values.preferred = reader.raw(preferred);
        t.values.forbidden = reader.raw(forbidden);
        t.values.doNotTranslate = reader.raw(keep) == "S";
        t.values.note = reader.raw(note);
        t.values.program = reader.raw(program);
        t.changed = reader.dateTime(changed);
        terms.push_back(std::move(t));
    }
    return terms;
}

TermExportSummary exportTerms(const ServerAddress& address, const QString& language, TermFormat format,
                              const QString& path, const JobControl& control)
{
    ServerLink link(address, control);
    TermExportSummary summary;
    summary.language = link.checkLanguage(language);
    summary.path = path;
    TermFile file;
    file.language = summary.language.toStdString();
    for (ServerTerm& t : readServerTerms(link, summary.language))
        file.terms.push_back(std::move(t.values));
    control.checkCancel();
    control.report(QStringLiteral("Gravando %1 termos em %2").arg(file.terms.size()).arg(path));
    writeTermFile(format, file, path);
    summary.terms = static_cast<int>(file.terms.size());
    return summary;
}

TermImportPreview prepareTermImport(const ServerAddress& address, const QString& path, const QString& language,
                                    const JobControl& control, const ReadLimits& limits)
{
    TermImportPreview preview;
    preview.path = path;
    ServerLink link(address, control);
    // The file first: a refused file costs the server nothing.
    control.report(QStringLiteral("Lendo %1").arg(path));
    preview.file = readTermFile(path, language.trimmed().toStdString(), limits);
    preview.language = link.checkLanguage(language);
    preview.current = readServerTerms(link, preview.language);
    preview.plan = planTermImport(preview.file, preview.current);
    return preview;
}

AppliedTerms applyTermImport(const ServerAddress& address, const TermImportPreview& preview, const JobControl& control)
{
    ServerLink link(address, control);
    AppliedTerms applied;
    const int total = preview.plan.count(TermOutcome::New) + preview.plan.count(TermOutcome::Changed);
    for (const TermPlanEntry& e : preview.plan.entries) {
        if (e.outcome != TermOutcome::New && e.outcome != TermOutcome::Changed)
            continue;
        const TermEntry& t = preview.file.terms[static_cast<std::size_t>(e.term)];
        const QString step =
            QStringLiteral("Gravando o termo %1 de %2").arg(applied.added + applied.changed + 1).arg(total);
        try {
            if (e.outcome == TermOutcome::New) {
                TRemoteArgs args = valuesOf(t);
                args.insert(args.begin(), preview.language);
                link.termCall(step, QStringLiteral("AddTermo"), args, true);
                ++applied.added;
            } else {
                const ServerTerm& was = preview.current[static_cast<std::size_t>(e.current)];
                TRemoteArgs args = valuesOf(t);
                args.insert(args.begin(), {preview.language, was.id});
                args.emplace_back(TDateTime(was.changed));
                link.termCall(step, QStringLiteral("AlteraTermo"), args, true);
                ++applied.changed;
            }
        } catch (const EServerError& refused) {
            applied.refusal = (t.line > 0 ? QStringLiteral("linha %1, ").arg(t.line) : QString())
                + QStringLiteral("\"%1\": %2").arg(q(t.source), refused.Message());
            return applied;
        }
    }
    return applied;
}

} // namespace trd::exchange
