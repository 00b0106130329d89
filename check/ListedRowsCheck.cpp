#include "ListedRowsCheck.h"

#include "CamposTraducao.h"
#include "ListaItens.h"
#include "GlossaryCheck.h"
#include "ProgramChecks.h"
#include "TermosDoServidor.h"
#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TDateTime.h"
#include "TSocketConnection.h"
#include "WebServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace trd::check {

namespace {

bool usesGlossary(const quality::CheckSet& checks)
{
    return checks.contains(quality::CheckId::TermoAusente) || checks.contains(quality::CheckId::TermoProibido)
        || checks.contains(quality::CheckId::TermoNaoTraduzir);
}

// The fields the server reads (docs/listed-rows.md) and what the check found.
struct ListFields {
    TField* idioma;
    TField* programa;
    TField* componente;
    TField* origem;
    TField* tipo;
    TField* mensagem;
    TField* tamanho;
    TField* permitido;
    TField* verificacao;
    TField* gravidade;
};

ListFields defineList(TClientDataSet& list)
{
    ListFields f{};
    f.idioma = list.AddField(NMIDIOMA, TFieldType::ftString, 3);
    f.programa = list.AddField(NMPROGRAMA, TFieldType::ftString, 20);
    f.componente = list.AddField(NMCOMPONENTE, TFieldType::ftString, 50);
    f.origem = list.AddField(NMORIGEM, TFieldType::ftString, 4000);
    f.tipo = list.AddField(QStringLiteral("TPLISTA"), TFieldType::ftString, 1);
    f.mensagem = list.AddField(QStringLiteral("DSMENSAGEM"), TFieldType::ftString, 200);
    f.tamanho = list.AddField(QStringLiteral("NRTAMANHO"), TFieldType::ftInteger);
    f.permitido = list.AddField(QStringLiteral("NRTAMMAX"), TFieldType::ftInteger);
    f.verificacao = list.AddField(QStringLiteral("CDVERIFICACAO"), TFieldType::ftString, 20);
    f.gravidade = list.AddField(QStringLiteral("TPGRAVIDADE"), TFieldType::ftString, 5);
    list.CreateDataSet();
    return f;
}

// Fails before the long part of the run rather than after it.
void checkWritable(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw CheckError(CheckError::OutputNotWritable,
                         QStringLiteral("Não foi possível criar a pasta %1 para gravar a lista.").arg(folder));
    QSaveFile probe(path);
    if (!probe.open(QIODevice::WriteOnly))
        throw CheckError(CheckError::OutputNotWritable,
                         QStringLiteral("Não é possível gravar o arquivo %1: %2.").arg(path, probe.errorString()));
    probe.cancelWriting();
}

QString languageList(TClientDataSet& languages)
{
    QStringList items;
    for (languages.First(); !languages.Eof(); languages.Next())
        items << QStringLiteral("%1 (%2)").arg(languages.FieldByName(NMIDIOMA)->AsString(),
                                               languages.FieldByName(QStringLiteral("DSIDIOMA"))->AsString());
    return items.isEmpty() ? QStringLiteral("nenhum") : items.join(QStringLiteral(", "));
}

// The message field holds 200 characters; a longer finding keeps its start.
QString fitMessage(const QString& message)
{
    constexpr qsizetype width = 200;
    return message.size() <= width ? message : message.left(width - 1) + QChar(0x2026);
}

// Whether the rows come a program after another: no program shows up again
// after another one began.
bool groupedByProgram(TClientDataSet& rows, const TField* program)
{
    QSet<QString> done;
    QString current;
    for (rows.First(); !rows.Eof(); rows.Next()) {
        QString p = program->AsString();
        if (p == current)
            continue;
        if (done.contains(p))
            return false;
        done.insert(current);
        current = std::move(p);
    }
    return true;
}

} // namespace

QString outputPath(const QString& output)
{
    if (output.isEmpty())
        return QDir(PastaListas()).filePath(NomeArquivoLista);
    if (output.endsWith(u'/') || QFileInfo(output).isDir())
        return QDir(output).filePath(NomeArquivoLista);
    // The dialog lists files by their extension: a name without one gets it.
    if (QFileInfo(output).suffix().isEmpty())
        return output + QStringLiteral(".cds");
    return output;
}

ListedRowsCheck::ListedRowsCheck(CheckOptions options) : m_options(std::move(options))
{
}

void ListedRowsCheck::report(const QString& step, qint64 done, qint64 total, bool newStep)
{
    if (onProgress)
        onProgress({step, done, total, newStep});
}

CheckSummary ListedRowsCheck::run()
{
    CheckSummary summary;
    summary.output = outputPath(m_options.output);
    checkWritable(summary.output);

    TSocketConnection net;
    net.Host = WebURL;
    net.Port = WebPort;
    net.ServerName = ServerNameTraducao;
    net.ThrowException = false;
    net.WaitingIntervalMs = 250;
    QString step;
    QElapsedTimer clock;
    net.OnWaiting = [&] { report(step, clock.elapsed() / 1000, 0, false); };
    auto begin = [&](const QString& text) {
        step = text;
        clock.start();
        report(step, 0, 0, true);
    };

    TClientDataSet languages;
    TClientDataSet rows;
    TClientDataSet obsoletes;
    QList<quality::GlossaryTerm> terms;
    try {
        begin(QStringLiteral("Conectando ao servidor de aplicação em %1").arg(net.Address()));
        net.Open();
        languages.SetData(CheckResultServ(net.AppServer().Call(metodo::GetIdiTrad), true, 0));
        if (!languages.Locate(NMIDIOMA, {m_options.language.trimmed()}, loCaseInsensitive))
            throw CheckError(CheckError::UnknownLanguage,
                             QStringLiteral("Idioma desconhecido: \"%1\". Idiomas do servidor: %2.")
                                 .arg(m_options.language, languageList(languages)));
        summary.language = languages.FieldByName(NMIDIOMA)->AsString();

        begin(QStringLiteral("Lendo as linhas de %1").arg(summary.language));
        // Every row of every status and date, as the editor's first load asks.
        rows.SetData(
            CheckResultServ(net.AppServer().Call(metodo::GetDestino,
                                                 {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"),
                                                  summary.language, TDateTime(0), TDateTime(0), QString()}),
                            true, 0));
        // Asked for, the rows a release made obsolete, checked apart after the live ones.
        if (m_options.obsolete)
            obsoletes.SetData(CheckResultServ(
                net.AppServer().Call(metodo::GetDestino,
                                     {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"), summary.language,
                                      TDateTime(0), TDateTime(0), QString(), QStringLiteral("S")}),
                true, 0));
        if (m_options.others && usesGlossary(m_options.checks))
            terms = glossario::leTermos(net, summary.language).value_or(QList<quality::GlossaryTerm>{});
    } catch (const EConnectionError& e) {
        throw CheckError(CheckError::ServerUnreachable, e.Message());
    } catch (const EServerError& e) {
        throw CheckError(CheckError::Refused, QStringLiteral("O servidor recusou o pedido: %1").arg(e.Message()));
    }
    net.Close();

    // The glossary's words are matched with the dictionaries (docs/glossary.md),
    // opened only when the language has terms.
    std::unique_ptr<quality::WordForms> sourceForms, destinationForms;
    std::unique_ptr<quality::GlossaryCheck> glossary;
    if (!terms.isEmpty()) {
        begin(QStringLiteral("Abrindo os dicionários do glossário (%1 termos)").arg(terms.size()));
        const quality::SpellSettings dictionaries = quality::SpellSettings::defaults();
        sourceForms = quality::sourceWordForms(dictionaries);
        destinationForms = quality::destinationWordForms(dictionaries, summary.language);
        glossary = std::make_unique<quality::GlossaryCheck>(terms, *sourceForms, *destinationForms);
    }

    TClientDataSet list;
    const ListFields out = defineList(list);
    QString mark; // "(obsoleta) " before the messages of an obsolete row
    auto append = [&](const QString& kind, const QString& message, const QString& programText,
                      const QString& componentText, const QString& sourceText) {
        list.Append();
        out.idioma->SetAsString(summary.language);
        out.programa->SetAsString(programText);
        out.componente->SetAsString(componentText);
        out.origem->SetAsString(sourceText);
        out.tipo->SetAsString(kind);
        out.mensagem->SetAsString(mark.isEmpty() ? message : fitMessage(mark + message));
    };

    const qint64 total = rows.RecordCount() + (obsoletes.Active() ? obsoletes.RecordCount() : 0);
    begin(QStringLiteral("Verificando %1 linhas de %2").arg(total).arg(summary.language));
    const bool sizeCheck = m_options.tooLong && m_options.checks.contains(quality::CheckId::Tamanho);
    quality::RowOptions others;
    others.checks = m_options.checks;
    others.checks.remove(quality::CheckId::Tamanho);
    others.size = m_options.rule;
    others.terms = glossary.get();
    const bool otherChecks = m_options.others && !others.checks.isEmpty();

    struct Row {
        QString component, source, destination, status;
    };
    QList<Row> batch;
    QString batchProgram;
    QList<quality::RowTexts> texts;
    QList<std::pair<qsizetype, quality::Finding>> found;
    auto appendFinding = [&](const QString& kind, const quality::Finding& f, const Row& r) {
        append(kind, fitMessage(f.message), batchProgram, r.component, r.source);
        out.verificacao->SetAsString(quality::checkInfo(f.check).code.toString());
        out.gravidade->SetAsString(quality::severityText(f.severity));
    };
    auto flush = [&] {
        found.clear();
        if (otherChecks) {
            texts.clear();
            for (const Row& r : std::as_const(batch))
                texts.append({r.component, r.source, r.destination, r.status});
            quality::checkProgram(batchProgram, texts, others, [&](qsizetype row, const quality::Finding& f) {
                found.append({row, f});
            });
        }
        qsizetype next = 0;
        for (qsizetype i = 0; i < batch.size(); ++i) {
            const Row& r = batch[i];
            if (m_options.untranslated) {
                const QString reason = untranslatedReason(r.status, r.source, r.destination);
                if (!reason.isEmpty()) {
                    append(QStringLiteral("N"), reason, batchProgram, r.component, r.source);
                    list.Post();
                    ++summary.untranslated;
                }
            }
            if (sizeCheck) {
                const SizeFinding size = checkSize(r.source, r.destination, m_options.rule);
                if (size.tooLong) {
                    appendFinding(QStringLiteral("E"),
                                  {quality::CheckId::Tamanho, quality::checkInfo(quality::CheckId::Tamanho).severity,
                                   sizeMessage(size)},
                                  r);
                    out.tamanho->SetAsInteger(size.found);
                    out.permitido->SetAsInteger(size.allowed);
                    list.Post();
                    ++summary.tooLong;
                }
            }
            for (; next < found.size() && found[next].first == i; ++next) {
                const quality::Finding& f = found[next].second;
                appendFinding(QStringLiteral("Q"), f, r);
                list.Post();
                ++summary.others;
                if (f.severity == quality::Severity::Erro)
                    ++summary.erros;
            }
        }
        batch.clear();
    };
    auto walk = [&](TClientDataSet& set) {
        const TField* program = set.FieldByName(NMPROGRAMA);
        const TField* component = set.FieldByName(NMCOMPONENTE);
        const TField* source = set.FieldByName(NMORIGEM);
        const TField* destination = set.FieldByName(NMDESTINO);
        const TField* status = set.FieldByName(NMSITUACAO);
        // A screen's shortcut letters are compared among its rows, so the rows
        // are checked a program at a time. The server answers them in that order
        // (docs/protocol.md); should one not, they are put in it here.
        if (otherChecks && !groupedByProgram(set, program))
            set.SetIndexFieldNames(NMPROGRAMA);
        for (set.First(); !set.Eof(); set.Next()) {
            const QString prog = program->AsString();
            if (prog != batchProgram) {
                flush();
                batchProgram = prog;
            }
            batch.append({component->AsString(), source->AsString(), destination->AsString(), status->AsString()});
            ++summary.rows;
            if (summary.rows % 1000 == 0)
                report(step, summary.rows, total, false);
        }
        flush();
    };
    walk(rows);
    // The obsolete rows are no screen's any more: their shortcut letters are
    // compared among themselves, never with the live rows'.
    if (obsoletes.Active()) {
        mark = QStringLiteral("(obsoleta) ");
        batchProgram.clear();
        walk(obsoletes);
        summary.obsolete = obsoletes.RecordCount();
    }
    report(step, summary.rows, total, false);

    begin(QStringLiteral("Gravando %1").arg(summary.output));
    try {
        list.MergeChangeLog();
        list.SaveToFile(summary.output);
    } catch (const EDBClient& e) {
        throw CheckError(CheckError::OutputNotWritable, e.Message());
    }
    return summary;
}

} // namespace trd::check
