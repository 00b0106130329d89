#include "ReleaseRun.h"

#include "DataPacket.h"
#include "FileBytes.h"
#include "TSocketConnection.h"

#include <QFile>

namespace trd::exchange {

namespace {

QString text(const PacketReader& r, int field)
{
    const auto raw = r.raw(field);
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

} // namespace

bool ReleaseAnswer::needsConfirm() const
{
    for (const ReleaseCounts& c : counts)
        if (c.needsConfirm)
            return true;
    return false;
}

ReleaseAnswer readReleaseAnswer(const QByteArray& packet)
{
    PacketReader r(packet);
    const auto f = [&](const char* name) {
        const int i = r.fieldIndex(name);
        if (i < 0)
            throw ExchangeError(QStringLiteral("Resposta do servidor sem o campo %1.").arg(QLatin1String(name)));
        return i;
    };
    const int kind = f("TPLINHA"), language = f("IDIDIOMA"), program = f("CDPROGTRAD"), component = f("NMCOMPONENTE"),
              source = f("STAGRVALPROP"), fromProgram = f("CDPROGANT"), fromComponent = f("NMCOMPANT"),
              fromSource = f("STAGRVALANT"), destination = f("STVALORPROP"), status = f("IDSITTRADUCAO"),
              similar = f("NRSIMILAR"), memory = f("STMEMORIA"), live = f("NRVIVAS"), kept = f("NRMANTIDAS"),
              reworded = f("NRREESCRITAS"), moved = f("NRMOVIDAS"), added = f("NRNOVAS"), fromMemory = f("NRMEMORIA"),
              revived = f("NRREVIVIDAS"), vanished = f("NROBSOLETAS"), percent = f("PCOBSOLETAS"),
              confirm = f("STCONFIRMAR"), warning = f("DSAVISO"), batch = f("IDLOTE");
    ReleaseAnswer answer;
    while (r.next()) {
        if (text(r, kind) == QLatin1String("S")) {
            ReleaseCounts c;
            c.language = text(r, language);
            c.program = text(r, program);
            c.live = static_cast<qint64>(r.real(live));
            c.kept = static_cast<qint64>(r.real(kept));
            c.reworded = static_cast<qint64>(r.real(reworded));
            c.moved = static_cast<qint64>(r.real(moved));
            c.added = static_cast<qint64>(r.real(added));
            c.fromMemory = static_cast<qint64>(r.real(fromMemory));
            c.revived = static_cast<qint64>(r.real(revived));
            c.vanished = static_cast<qint64>(r.real(vanished));
            c.vanishedPercent = r.real(percent);
            c.needsConfirm = text(r, confirm) == QLatin1String("S");
            c.warning = text(r, warning);
            c.batch = static_cast<qint64>(r.real(batch));
            answer.counts.push_back(c);
            continue;
        }
        ReleaseRow row;
        const QString k = text(r, kind);
        row.kind = k.isEmpty() ? QChar(u'?') : k.front();
        row.language = text(r, language);
        row.program = text(r, program);
        row.component = text(r, component);
        row.source = text(r, source);
        row.fromProgram = text(r, fromProgram);
        row.fromComponent = text(r, fromComponent);
        row.fromSource = text(r, fromSource);
        row.destination = text(r, destination);
        row.status = text(r, status);
        row.similarity = static_cast<int>(r.real(similar));
        row.fromMemory = text(r, memory) == QLatin1String("S");
        answer.rows.push_back(row);
    }
    return answer;
}

ReleaseAnswer runRelease(const ServerAddress& address, const QString& path, bool apply, const ReleaseOptions& options,
                         const JobControl& control)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(0, QStringLiteral("não foi possível ler %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    checkUtf8File(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    ServerLink link(address, control);
    const QByteArray packet = link.release(apply, QString::fromUtf8(bytes), options.threshold, options.vanishLimit,
                                           options.memory, options.confirm);
    return readReleaseAnswer(packet);
}

} // namespace trd::exchange
