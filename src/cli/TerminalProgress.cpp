#include "cli/TerminalProgress.h"

#include <QByteArray>

void TerminalProgress::show(int done, int total)
{
    if (done < total && m_drawn && m_sinceDraw.elapsed() < 100)
        return;
    m_sinceDraw.restart();
    constexpr int width = 30;
    const int filled = total > 0 ? int(qint64(done) * width / total) : width;
    const QByteArray bar = QByteArray(filled, '#') + QByteArray(width - filled, '-');
    std::fprintf(m_terminal, "\rMessage %d (of %d) [%s]", done, total, bar.constData());
    std::fflush(m_terminal);
    m_drawn = true;
}

void TerminalProgress::finish()
{
    if (m_drawn)
        std::fputs("\n", m_terminal);
    m_drawn = false;
}
