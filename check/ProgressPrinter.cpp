#include "ProgressPrinter.h"

namespace trd::check {

ProgressPrinter::ProgressPrinter(std::FILE* stream, bool terminal) : m_stream(stream), m_terminal(terminal)
{
}

ProgressPrinter::~ProgressPrinter()
{
    finish();
}

QString ProgressPrinter::text(const CheckProgress& p)
{
    if (p.total > 0)
        return QStringLiteral("%1: %2%").arg(p.step).arg(p.done * 100 / p.total);
    if (p.done > 0)
        return QStringLiteral("%1 (%2 s)").arg(p.step).arg(p.done);
    return p.step + QStringLiteral("...");
}

void ProgressPrinter::show(const CheckProgress& p)
{
    const qint64 every = m_terminal ? 200 : 5000;
    if (!p.newStep && m_last.isValid() && m_last.elapsed() < every)
        return;
    m_last.start();
    const QByteArray line = text(p).toLocal8Bit();
    if (m_terminal) {
        // Back to the start of the line and clear what the last text left.
        std::fprintf(m_stream, "\r%s\033[K", line.constData());
        m_open = true;
    } else {
        std::fprintf(m_stream, "%s\n", line.constData());
    }
    std::fflush(m_stream);
}

void ProgressPrinter::finish()
{
    if (m_open) {
        std::fputc('\n', m_stream);
        std::fflush(m_stream);
        m_open = false;
    }
}

} // namespace trd::check
