// Times the window's two long operations as a user starts them, on the offscreen platform:
//   window-bench scan FOLDER        a folder scan into the list
//   window-bench run FOLDER DEST    a conversion run of everything below FOLDER
// Prints key=value lines: seconds, rows or messages, the longest gap between two turns of the
// event loop (how long the window could not repaint or react), and the peak memory.
#include "ScriptedPrompts.h"
#include "app/frmStep1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

// Records the longest time between two turns of the event loop while it is running. It looks
// every millisecond, not at every turn: a timer of no interval would keep the window's thread
// busy, taking a core from the run that is measured.
class GapMeter
{
public:
    GapMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = qMax(m_longest, m_sinceTurn.nsecsElapsed());
            m_sinceTurn.restart();
        });
    }
    void start()
    {
        m_sinceTurn.start();
        m_timer.start();
    }
    double stopMs()
    {
        m_timer.stop();
        return double(qMax(m_longest, m_sinceTurn.nsecsElapsed())) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTurn;
    qint64 m_longest = 0;
};

double peakMemoryMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void click(frmStep1 &window, const char *button)
{
    window.findChild<QAbstractButton *>(QLatin1String(button))->click();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3 || (args[1] == QStringLiteral("run") && args.size() < 4)) {
        std::fprintf(stderr, "usage: window-bench scan FOLDER | window-bench run FOLDER DEST\n");
        return 2;
    }
    auto *prompts = new ScriptedPrompts; // pickers get the folders given, questions No
    frmStep1 window{std::unique_ptr<Prompts>(prompts)};
    window.show();
    QCoreApplication::processEvents();

    prompts->folders = {args[2]};
    GapMeter gaps;
    QElapsedTimer clock;
    const bool scanOnly = args[1] == QStringLiteral("scan");
    if (scanOnly) {
        gaps.start();
        clock.start();
    }
    click(window, "CmdAddFolder");
    if (scanOnly) {
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        std::printf("seconds=%.3f\nrows=%d\nlongest_gap_ms=%.1f\npeak_rss_mb=%.1f\n", seconds,
                    window.messageList().count(), gaps.stopMs(), peakMemoryMb());
        return 0;
    }
    prompts->folders = {args[3]};
    gaps.start();
    clock.start();
    click(window, "CmdConvert2PDF");
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    std::printf("seconds=%.3f\nmessages=%d\nlongest_gap_ms=%.1f\npeak_rss_mb=%.1f\nend_box=%s\n", seconds,
                window.messageList().count(), gaps.stopMs(), peakMemoryMb(),
                qPrintable(prompts->asked.value(prompts->asked.size() - 1).section(u'\n', 0, 0)));
    return 0;
}
