// trd-exchange: exports a language of a running trd-server to XLIFF or PO for
// outside translation tools, and imports such files back (docs/exchange.md);
// the same for a language's glossary as TBX or CSV (docs/glossary.md).
#include "ExchangeJobs.h"
#include "ExchangeOptions.h"
#include "PreTranslation.h"
#include "ReleaseRun.h"
#include "TermExchange.h"
#include "TSocketConnection.h"
#include "WebServer.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>

using namespace trd;
using namespace trd::exchange;

namespace {

enum Exit { Ok = 0, Refused = 1, BadCommandLine = 2, Unreachable = 3, RefusedUnits = 4, NeedsConfirmation = 5 };

constexpr int GuardTripped = -32005; // the server's code for a release that needs confirming

ServerAddress addressFrom(const ExchangeOptions& options)
{
    ServerAddress address;
    address.host = WebURL;
    address.port = WebPort;
    address.tls = WebTls || !options.caFile.isEmpty();
    address.tlsCaFile = options.caFile;
    if (!options.user.isEmpty())
        address.login = [user = options.user](TSocketConnection& net, const QString& message) -> QByteArray {
            QString password = qEnvironmentVariable("TRD_PASSWORD");
            if (password.isEmpty()) {
                std::fprintf(stderr, "%s\nSenha de %s: ", qPrintable(message), qPrintable(user));
                std::string line;
                std::getline(std::cin, line);
                password = QString::fromStdString(line);
            }
            const TServerResult r = net.AppServer().Call(QStringLiteral("Login"), {user, password});
            return r.Packet;
        };
    return address;
}

QString excerpt(const std::string& text)
{
    QString t = QString::fromStdString(text).replace(u'\n', QStringLiteral("\\n"));
    return t.size() > 60 ? t.left(57) + QStringLiteral("...") : t;
}

void printEntry(const ImportPreview& p, const PlanEntry& e)
{
    const Unit& u = p.document.units[static_cast<std::size_t>(e.unit)];
    const QString where =
        u.line > 0 ? QStringLiteral("linha %1").arg(u.line) : QStringLiteral("id %1").arg(QString::fromStdString(u.id));
    QString line = QStringLiteral("  %1: %2/%3 \"%4\"")
                       .arg(where, QString::fromStdString(u.program.value_or("?")),
                            QString::fromStdString(u.component.value_or("?")), excerpt(u.source));
    if (e.row >= 0 && (e.outcome == Outcome::New || e.outcome == Outcome::Changed || e.outcome == Outcome::Conflict)) {
        const Row& r = p.rows[static_cast<std::size_t>(e.row)];
        line += QStringLiteral(" %1 \"%2\" -> %3 \"%4\"")
                    .arg(QChar::fromLatin1(r.status), excerpt(r.destination), QChar::fromLatin1(e.status),
                         excerpt(e.destination));
    }
    if (!e.reason.isEmpty())
        line += QStringLiteral(": ") + e.reason;
    std::printf("%s\n", qPrintable(line));
}

int runImport(const ExchangeOptions& options, const JobControl& control)
{
    const ServerAddress address = addressFrom(options);
    const ImportPreview preview = prepareImport(address, options.file, options.language, control);
    const Plan& plan = preview.plan;
    std::printf("%s: %d unidades para %s.\n", qPrintable(options.file), static_cast<int>(plan.entries.size()),
                qPrintable(preview.language));
    for (int o = 0; o < OutcomeCount; ++o)
        std::printf("  %s %d\n", qPrintable((outcomeName(static_cast<Outcome>(o)) + u':').leftJustified(26)),
                    plan.counts[static_cast<std::size_t>(o)]);
    for (const Outcome o : {Outcome::Conflict, Outcome::Refused, Outcome::Unmatched, Outcome::New, Outcome::Changed}) {
        if ((o == Outcome::New || o == Outcome::Changed) && !options.listAll)
            continue;
        if (plan.count(o) == 0)
            continue;
        std::printf("%s:\n", qPrintable(outcomeName(o).left(1).toUpper() + outcomeName(o).mid(1)));
        for (const PlanEntry& e : plan.entries)
            if (e.outcome == o)
                printEntry(preview, e);
    }
    if (!options.apply) {
        std::printf("Nada foi gravado (use --apply para gravar).\n");
        return Ok;
    }
    if (plan.count(Outcome::Refused) > 0 && !options.acceptRefused) {
        std::fprintf(stderr,
                     "trd-exchange: %d unidade(s) recusadas; nada foi gravado. Use --accept-refused para gravar "
                     "as demais.\n",
                     plan.count(Outcome::Refused));
        return RefusedUnits;
    }
    std::vector<bool> overwrite(plan.entries.size(), options.overwriteConflicts);
    const AppliedImport applied = applyImport(address, preview, overwrite, true, control);
    std::printf("%d linha(s) gravadas em %s%s.%s\n", applied.rows, qPrintable(preview.language),
                applied.batch != 0 ? qPrintable(QStringLiteral(", lote %1 do histórico").arg(applied.batch)) : "",
                plan.count(Outcome::Conflict) > 0 && !options.overwriteConflicts
                    ? qPrintable(QStringLiteral(" %1 conflito(s) não gravados (--overwrite-conflicts grava).")
                                     .arg(plan.count(Outcome::Conflict)))
                    : "");
    return Ok;
}

QString percent(double value)
{
    return QString::number(value, 'f', 2).replace(u'.', u',');
}

void printCounts(const ReleaseCounts& c)
{
    std::printf("%s%s: %lld vivas; %lld mantidas, %lld reescritas, %lld movidas, %lld novas (%lld da memória), "
                "%lld revividas, %lld obsoletas%s%s\n",
                c.program.isEmpty() ? "" : "  ", qPrintable(c.program.isEmpty() ? c.language : c.program),
                static_cast<long long>(c.live), static_cast<long long>(c.kept), static_cast<long long>(c.reworded),
                static_cast<long long>(c.moved), static_cast<long long>(c.added), static_cast<long long>(c.fromMemory),
                static_cast<long long>(c.revived), static_cast<long long>(c.vanished),
                c.program.isEmpty() ? qPrintable(QStringLiteral(" (%1 %)").arg(percent(c.vanishedPercent))) : "",
                c.batch != 0 ? qPrintable(QStringLiteral("; lote %1 do histórico").arg(c.batch)) : "");
}

void printReleaseRow(const ReleaseRow& r)
{
    const QString here = r.program + u'/' + r.component;
    switch (r.kind.unicode()) {
    case u'R':
        std::printf("  %s: \"%s\" -> \"%s\" (%d %%): \"%s\"\n", qPrintable(here),
                    qPrintable(excerpt(r.fromSource.toStdString())), qPrintable(excerpt(r.source.toStdString())),
                    r.similarity, qPrintable(excerpt(r.destination.toStdString())));
        break;
    case u'M':
        std::printf("  %s/%s -> %s \"%s\": \"%s\"\n", qPrintable(r.fromProgram), qPrintable(r.fromComponent),
                    qPrintable(here), qPrintable(excerpt(r.source.toStdString())),
                    qPrintable(excerpt(r.destination.toStdString())));
        break;
    default:
        std::printf("  %s \"%s\" %s \"%s\"%s\n", qPrintable(here), qPrintable(excerpt(r.source.toStdString())),
                    qPrintable(r.status), qPrintable(excerpt(r.destination.toStdString())),
                    r.fromMemory ? " (da memória)" : "");
    }
}

int runRelease(const ExchangeOptions& options, const JobControl& control)
{
    ReleaseOptions release;
    release.threshold = options.threshold;
    release.vanishLimit = options.vanishLimit;
    release.memory = options.memory;
    release.confirm = options.confirm;
    ReleaseAnswer answer;
    try {
        answer = trd::exchange::runRelease(addressFrom(options), options.file, options.apply, release, control);
    } catch (const EServerError& e) {
        if (e.ErrorCode() != GuardTripped)
            throw;
        std::fprintf(stderr, "trd-exchange: %s\nUse --confirm para aplicar assim mesmo.\n", qPrintable(e.Message()));
        return NeedsConfirmation;
    }
    static const std::pair<char16_t, const char*> Lists[] = {
        {u'R', "Reescritas"}, {u'M', "Movidas"}, {u'N', "Novas"}, {u'V', "Revividas"}, {u'O', "Obsoletas"}};
    QString language;
    for (const ReleaseCounts& c : answer.counts) {
        printCounts(c);
        if (!c.program.isEmpty() || c.language == language)
            continue;
        language = c.language;
    }
    for (const auto& [kind, title] : Lists) {
        if ((kind == u'N' || kind == u'V' || kind == u'O') && !options.listAll)
            continue;
        QString shown;
        for (const ReleaseRow& r : answer.rows) {
            if (r.kind != QChar(kind))
                continue;
            if (r.language != shown) {
                shown = r.language;
                std::printf("%s (%s):\n", title, qPrintable(shown));
            }
            printReleaseRow(r);
        }
    }
    bool needs = false;
    for (const ReleaseCounts& c : answer.counts)
        if (c.needsConfirm) {
            needs = true;
            std::fprintf(stderr, "trd-exchange: %s\n", qPrintable(c.warning));
        }
    if (options.apply) {
        std::printf("Liberação aplicada.\n");
        return Ok;
    }
    std::printf("Nada foi gravado (use --apply para aplicar).\n");
    if (needs) {
        std::fprintf(stderr, "trd-exchange: aplicar este arquivo pedirá --confirm.\n");
        return NeedsConfirmation;
    }
    return Ok;
}

int runExport(const ExchangeOptions& options, const JobControl& control)
{
    ExportRequest request;
    request.format = options.format;
    request.path = options.output;
    request.selection.language = options.language;
    if (options.statuses != QLatin1String("TDN") || !options.filter.isEmpty()) {
        request.selection.filtered = true;
        auto pick = [&](char c) {
            return options.statuses.contains(QChar::fromLatin1(c)) ? QString(QChar::fromLatin1(c))
                                                                   : QStringLiteral("X");
        };
        request.selection.statusT = pick('T');
        request.selection.statusD = pick('D');
        request.selection.statusN = pick('N');
        request.selection.fragment = options.filter;
        request.selection.dateMode = QStringLiteral("T");
    }
    const ExportSummary s = runExport(addressFrom(options), request, control);
    std::printf("%s: %d linhas de %s em %s, exportadas em %s.\n", qPrintable(s.path), s.rows, qPrintable(s.language),
                formatName(options.format), qPrintable(s.exportTime));
    return Ok;
}

// Exits Refused when the run stopped before its end (what was written stays).
int runPreTranslate(const ExchangeOptions& options, const JobControl& control)
{
    ServerLink link(addressFrom(options), control);
    RowSelection selection;
    selection.language = link.checkLanguage(options.language);
    selection.filtered = true;
    selection.statusT = QStringLiteral("X");
    selection.statusD = QStringLiteral("X");
    selection.fragment = options.filter;
    const PreTranslation p = preTranslate(link, selection, control);
    std::printf("%s\n", qPrintable(preTranslationSummary(p)));
    return p.stoppedBy.isEmpty() && !p.cancelled ? Ok : Refused;
}

void printTermEntry(const TermImportPreview& p, const TermPlanEntry& e)
{
    const TermEntry& t = p.file.terms[static_cast<std::size_t>(e.term)];
    QString line =
        QStringLiteral("  %1\"%2\"%3")
            .arg(t.line > 0 ? QStringLiteral("linha %1: ").arg(t.line) : QString(), excerpt(t.source),
                 t.program.empty() ? QString() : QStringLiteral(" (%1)").arg(QString::fromStdString(t.program)));
    if (!e.reason.isEmpty())
        line += QStringLiteral(": ") + e.reason;
    std::printf("%s\n", qPrintable(line));
}

int runTermsExport(const ExchangeOptions& options, const JobControl& control)
{
    const TermExportSummary s =
        exportTerms(addressFrom(options), options.language, options.termFormat, options.output, control);
    std::printf("%s: %d termos do glossário de %s em %s.\n", qPrintable(s.path), s.terms, qPrintable(s.language),
                termFormatName(options.termFormat));
    return Ok;
}

int runTermsImport(const ExchangeOptions& options, const JobControl& control)
{
    const ServerAddress address = addressFrom(options);
    const TermImportPreview preview = prepareTermImport(address, options.file, options.language, control);
    const TermPlan& plan = preview.plan;
    std::printf("%s: %d termos para o glossário de %s.\n", qPrintable(options.file),
                static_cast<int>(plan.entries.size()), qPrintable(preview.language));
    for (int o = 0; o < TermOutcomeCount; ++o)
        std::printf("  %s %d\n", qPrintable((termOutcomeName(static_cast<TermOutcome>(o)) + u':').leftJustified(14)),
                    plan.count(static_cast<TermOutcome>(o)));
    for (const TermOutcome o : {TermOutcome::Refused, TermOutcome::New, TermOutcome::Changed}) {
        if (plan.count(o) == 0 || (o != TermOutcome::Refused && !options.listAll))
            continue;
        const QString name = termOutcomeName(o);
        std::printf("%s:\n", qPrintable(name.left(1).toUpper() + name.mid(1)));
        for (const TermPlanEntry& e : plan.entries)
            if (e.outcome == o)
                printTermEntry(preview, e);
    }
    if (!options.apply) {
        std::printf("Nada foi gravado (use --apply para gravar).\n");
        return Ok;
    }
    if (plan.count(TermOutcome::Refused) > 0 && !options.acceptRefused) {
        std::fprintf(stderr,
                     "trd-exchange: %d termo(s) recusados; nada foi gravado. Use --accept-refused para gravar os "
                     "demais.\n",
                     plan.count(TermOutcome::Refused));
        return RefusedUnits;
    }
    const AppliedTerms applied = applyTermImport(address, preview, control);
    std::printf("%d termo(s) novos e %d alterados gravados no glossário de %s.\n", applied.added, applied.changed,
                qPrintable(preview.language));
    if (!applied.refusal.isEmpty()) {
        std::fprintf(stderr, "trd-exchange: o servidor recusou %s\nOs termos seguintes não foram gravados.\n",
                     qPrintable(applied.refusal));
        return Refused;
    }
    return Ok;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("trd-exchange"));
    const ExchangeOptions options = parseExchangeOptions(QCoreApplication::arguments());
    if (options.help) {
        std::fputs(qPrintable(options.helpText), stdout);
        return Ok;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "trd-exchange: %s\nUse trd-exchange --help para ver as opções.\n",
                     qPrintable(options.error));
        return BadCommandLine;
    }
    JobControl control;
    if (!options.quiet)
        control.onProgress = [](const Progress& p) { std::fprintf(stderr, "%s...\n", qPrintable(p.step)); };
    try {
        switch (options.command) {
        case ExchangeOptions::Command::Export:
            return runExport(options, control);
        case ExchangeOptions::Command::Release:
            return runRelease(options, control);
        case ExchangeOptions::Command::PreTranslate:
            return runPreTranslate(options, control);
        case ExchangeOptions::Command::TermsExport:
            return runTermsExport(options, control);
        case ExchangeOptions::Command::TermsImport:
            return runTermsImport(options, control);
        default:
            return runImport(options, control);
        }
    } catch (const EConnectionError& e) {
        std::fprintf(stderr, "trd-exchange: %s\n", qPrintable(e.Message()));
        return Unreachable;
    } catch (const EServerError& e) {
        std::fprintf(stderr, "trd-exchange: o servidor recusou: %s\n", qPrintable(e.Message()));
        return Refused;
    } catch (const trd::Exception& e) {
        std::fprintf(stderr, "trd-exchange: %s\n", qPrintable(e.Message()));
        return Refused;
    }
}
