#include "PreTranslation.h"

#include "DataPacket.h"
#include "ImportPlan.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace trd::exchange {

namespace {

// For each source, the translation of its translated rows; the most frequent
// when they differ (the first of them on a tie).
std::unordered_map<std::string, std::string> memoryOf(const std::vector<Row>& rows)
{
    std::unordered_map<std::string, std::map<std::string, int>> counts;
    for (const Row& r : rows)
        if (r.status == 'T' && !r.destination.empty())
            ++counts[r.source][r.destination];
    std::unordered_map<std::string, std::string> best;
    for (const auto& [source, variants] : counts) {
        int most = 0;
        for (const auto& [text, n] : variants)
            if (n > most) {
                most = n;
                best[source] = text;
            }
    }
    return best;
}

QByteArray sourcesPacket(const std::vector<Row>& rows, const std::vector<int>& indexes, std::size_t from,
                         std::size_t to)
{
    QByteArray out;
    PacketWriter packet(out);
    packet.begin({stringField("STAGRVALPROP", 4000)}, {});
    for (std::size_t i = from; i < to; ++i) {
        packet.beginRow();
        packet.string(0, std::string_view(rows[static_cast<std::size_t>(indexes[i])].source));
        packet.endRow();
    }
    packet.end();
    return out;
}

} // namespace

PreTranslation preTranslate(ServerLink& link, const RowSelection& selection, const JobControl& control, int rowsPerSave)
{
    const auto perSave = static_cast<std::size_t>(std::max(1, rowsPerSave));
    PreTranslation p;
    const std::vector<Row> rows = link.rows(selection);
    // The memory is every translated row of the language, whatever the selection shows.
    const std::unordered_map<std::string, std::string> memory = memoryOf(link.rowsWithDates(selection.language));
    Plan fromMemory;
    std::vector<int> forEngine;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        if (r.status != 'N' || !r.destination.empty())
            continue;
        ++p.candidates;
        if (const auto hit = memory.find(r.source); hit != memory.end())
            fromMemory.entries.push_back({Outcome::New, -1, static_cast<int>(i), hit->second, 'D', {}});
        else
            forEngine.push_back(static_cast<int>(i));
    }
    if (p.candidates == 0)
        return p;

    const auto total = static_cast<qint64>(p.candidates);
    qint64 done = 0;
    bool opened = false;
    // The batch is opened by the first save, with the origin the engine's
    // first answer names; a run that writes nothing leaves no batch.
    const auto save = [&](const Plan& plan, const QString& origin) {
        if (plan.entries.empty())
            return;
        if (!opened) {
            p.origin = origin;
            p.batch = link.openBatch(selection.language, QStringLiteral("automatica"), origin);
            opened = true;
        }
        // In small saves (PreTranslationSaveRows): the one writer is never
        // held long enough for another user's save to notice the wait.
        for (std::size_t at = 0; at < plan.entries.size(); at += perSave) {
            Plan part;
            part.entries.assign(plan.entries.begin() + static_cast<std::ptrdiff_t>(at),
                                plan.entries.begin()
                                    + static_cast<std::ptrdiff_t>(std::min(plan.entries.size(), at + perSave)));
            link.applyInBatch(buildDelta(part, rows, selection.language, {}), p.batch);
        }
    };
    const QString step = QStringLiteral("Pré-traduzindo %1").arg(selection.language);
    try {
        control.checkCancel();
        QString engineOrigin;
        for (std::size_t at = 0; at < forEngine.size(); at += PreTranslationPiece) {
            const std::size_t to = std::min(forEngine.size(), at + PreTranslationPiece);
            control.report(step, done, total);
            PacketReader answers(link.machineTranslations(selection.language, sourcesPacket(rows, forEngine, at, to)));
            const int text = answers.fieldIndex("STVALORPROP");
            const int engine = answers.fieldIndex("DSMOTOR");
            const int route = answers.fieldIndex("DSROTA");
            if (text < 0 || engine < 0 || route < 0)
                throw ExchangeError(QStringLiteral("A resposta do servidor não traz as traduções automáticas."));
            Plan piece;
            for (std::size_t i = at; i < to && answers.next(); ++i) {
                if (engineOrigin.isEmpty())
                    engineOrigin = (QString::fromUtf8(answers.raw(engine).data(),
                                                      static_cast<qsizetype>(answers.raw(engine).size()))
                                    + u' '
                                    + QString::fromUtf8(answers.raw(route).data(),
                                                        static_cast<qsizetype>(answers.raw(route).size())))
                                       .left(40);
                const std::string_view t = answers.isNull(text) ? std::string_view() : answers.raw(text);
                if (t.empty()) {
                    ++p.refused;
                    continue;
                }
                piece.entries.push_back({Outcome::New, -1, forEngine[i], std::string(t), 'D', {}});
            }
            // The memory's rows go with the first save, in the same batch.
            if (at == 0) {
                piece.entries.insert(piece.entries.begin(), fromMemory.entries.begin(), fromMemory.entries.end());
                p.fromMemory = static_cast<int>(fromMemory.entries.size());
                done += p.fromMemory;
                fromMemory.entries.clear();
            }
            save(piece, engineOrigin);
            p.fromEngine += static_cast<int>(piece.entries.size()) - (at == 0 ? p.fromMemory : 0);
            done += static_cast<qint64>(to - at);
            control.report(step, done, total);
        }
        if (!fromMemory.entries.empty()) {
            save(fromMemory, QStringLiteral("memória de tradução"));
            p.fromMemory = static_cast<int>(fromMemory.entries.size());
            done += p.fromMemory;
        }
        control.report(step, done, total);
    } catch (const Cancelled&) {
        p.cancelled = true;
    } catch (const Exception& e) {
        if (p.written() == 0)
            throw;
        p.stoppedBy = e.Message();
    }
    p.notAsked = p.candidates - p.written() - p.refused;
    return p;
}

QString preTranslationSummary(const PreTranslation& p)
{
    if (p.candidates == 0)
        return QStringLiteral("Nenhuma linha não traduzida e sem texto entre as listadas; nada foi gravado.");
    QString text = QStringLiteral("%1 de %2 linhas pré-traduzidas como dúvida (%3 da memória de tradução, %4 da "
                                  "tradução automática)")
                       .arg(p.written())
                       .arg(p.candidates)
                       .arg(p.fromMemory)
                       .arg(p.fromEngine);
    if (p.batch != 0)
        text += QStringLiteral(", no lote %1").arg(p.batch);
    text += u'.';
    if (p.refused > 0)
        text += QStringLiteral(" %1 respostas do motor descartadas (marcadores, atalhos ou quebras de linha "
                               "perdidos): as linhas ficaram como estavam.")
                    .arg(p.refused);
    if (p.cancelled)
        text += QStringLiteral(" Interrompida a pedido; o que foi gravado fica, num lote só, e pode ser desfeito.");
    if (!p.stoppedBy.isEmpty())
        text += QStringLiteral(" Interrompida: %1 O que foi gravado fica, num lote só, e pode ser desfeito.")
                    .arg(p.stoppedBy);
    if ((p.cancelled || !p.stoppedBy.isEmpty()) && p.notAsked > 0)
        text += QStringLiteral(" %1 linhas ficaram sem pré-tradução.").arg(p.notAsked);
    return text;
}

} // namespace trd::exchange
