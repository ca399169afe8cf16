#include "terminalprogress.h"

#include <unistd.h>

namespace qm {
namespace cli {

TerminalProgress::TerminalProgress(std::FILE *out, int intervalMs)
    : m_out(out), m_intervalMs(intervalMs)
{
}

void TerminalProgress::begin(int total)
{
    m_total = total;
    m_done = 0;
    draw(0);
}

bool TerminalProgress::step(int index, QChar, const QFont &, int, int)
{
    // Character `index` is about to be written, so `index` are done.
    m_done = index;
    if (m_sinceDraw.hasExpired(m_intervalMs))
        draw(index);
    return true;
}

void TerminalProgress::end()
{
    if (!m_drawn)
        return;
    // The loop ran to the end unless a step was refused; no step here refuses.
    draw(m_total > 0 ? m_total : m_done);
    std::fputc('\n', m_out);
    std::fflush(m_out);
    m_drawn = false;
}

QString TerminalProgress::barLine(int done, int total, int barWidth)
{
    total = qMax(total, 0);
    done = qBound(0, done, total);
    const int percent = total > 0 ? int(qint64(done) * 100 / total) : 100;
    const int filled = total > 0 ? int(qint64(done) * barWidth / total) : barWidth;
    const int digits = QString::number(total).size();
    return QStringLiteral("[%1%2] %3% %4/%5")
        .arg(QString(filled, QLatin1Char('#')), QString(barWidth - filled, QLatin1Char('.')))
        .arg(percent, 3)
        .arg(done, digits)
        .arg(total);
}

void TerminalProgress::draw(int done)
{
    const QByteArray line = barLine(done, m_total).toUtf8();
    std::fputc('\r', m_out);
    std::fwrite(line.constData(), 1, size_t(line.size()), m_out);
    std::fflush(m_out);
    m_drawn = true;
    m_sinceDraw.start();
}

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace cli
} // namespace qm
