#include "cli/CommandLine.h"
#include "cli/TerminalProgress.h"
#include "platform/InFlightFiles.h"
#include "platform/PathHelpers.h"
#include "platform/ProcessSignals.h"

#include <QCoreApplication>
#include <QDir>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <signal.h>
#include <unistd.h>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

// The signal that asked the run to stop, 0 while none did.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

// The first SIGINT, SIGTERM or SIGHUP asks the run to stop after the messages in hand (a copy
// under way is broken off and leaves nothing); the second ends the process at once, after
// removing the temporary files still being written. Async-signal-safe calls only.
extern "C" void onStopSignal(int number)
{
    int none = 0;
    if (stopSignal.compare_exchange_strong(none, number))
        return;
    removeInFlightFiles();
    _exit(128 + number);
}

#ifdef Q_OS_WIN
// Ctrl+C and Ctrl+Break come as console events, each on a thread of its own; handled, the
// process goes on and ends the run itself.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    onStopSignal(event == CTRL_C_EVENT ? SIGINT : SIGBREAK);
    return TRUE;
}
#endif

void stopOnSignals()
{
#ifdef Q_OS_UNIX
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // reads and writes go on; the run looks at the flag itself
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(number, &action, nullptr);
#elif defined(Q_OS_WIN)
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#endif
}

#ifdef Q_OS_WIN
// Text goes out in UTF-8, byte for byte as on other systems (no "\r" added before "\n"); a
// console shows it as UTF-8 while the program runs, and its own code page again afterwards.
class Utf8Console
{
public:
    Utf8Console() : m_codePage(GetConsoleOutputCP())
    {
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
        if (m_codePage != 0)
            SetConsoleOutputCP(CP_UTF8);
    }
    ~Utf8Console()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        if (m_codePage != 0)
            SetConsoleOutputCP(m_codePage);
    }

private:
    UINT m_codePage; // 0 without a console
};
#endif

QString signalName(int number)
{
    switch (number) {
    case SIGINT:
        return QStringLiteral("Ctrl+C (SIGINT)");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
#ifdef SIGBREAK
    case SIGBREAK:
        return QStringLiteral("Ctrl+Break");
#endif
#ifdef SIGHUP
    case SIGHUP:
        return QStringLiteral("SIGHUP");
#endif
    default:
        return QStringLiteral("signal %1").arg(number);
    }
}

void print(std::FILE *stream, const QString &text)
{
#ifdef Q_OS_WIN
    std::fputs(text.toUtf8().constData(), stream);
#else
    std::fputs(text.toLocal8Bit().constData(), stream);
#endif
}

void printNotes(const QList<MessageNote> &notes, const char *kind)
{
    for (const MessageNote &note : notes)
        print(stderr, QStringLiteral("emlx2eml: %1: %2\n").arg(QLatin1String(kind), noteLine(note)));
}

// "emlx2eml: failed by reason: 12 × could not be read, 3 × holds no message", when there is more
// than one note: each was named on its own line above.
void printByReason(const QList<MessageNote> &notes, const char *kind)
{
    if (notes.size() < 2)
        return;
    QStringList groups;
    for (const ReasonGroup &group : groupByReason(notes))
        groups << QStringLiteral("%1 × %2").arg(group.notes.size()).arg(reasonText(group.reason));
    print(stderr, QStringLiteral("emlx2eml: %1 by reason: %2\n").arg(QLatin1String(kind), groups.join(QStringLiteral(", "))));
}

// "1 warning", "2 warnings".
QString counted(qsizetype count, const QString &one, const QString &many)
{
    return QString::number(count) + u' ' + (count == 1 ? one : many);
}

QString summary(const RunReport &report, int sourceProblems, bool dryRun, bool update, const QString &destination)
{
    QString line =
        QStringLiteral("%1 %2, %3 failed, %4")
            .arg(report.converted)
            .arg(dryRun ? QStringLiteral("would be converted (dry run: nothing written)") : QStringLiteral("converted"))
            .arg(report.failures.size() + sourceProblems)
            .arg(counted(report.warnings.size(), QStringLiteral("warning"), QStringLiteral("warnings")));
    if (update)
        line += QStringLiteral(", %1 already up to date").arg(report.upToDate);
    if (report.skippedPartials > 0)
        line += QStringLiteral(", ") + counted(report.skippedPartials,
                                               QStringLiteral("partial copy skipped for its full copy"),
                                               QStringLiteral("partial copies skipped for their full copies"));
    if (report.repeatedSources > 0)
        line += QStringLiteral(", %1 listed more than once (written once)").arg(report.repeatedSources);
    return line + (dryRun ? QStringLiteral(", planned below %1") : QStringLiteral(", written below %1"))
                      .arg(quotedPath(destination));
}

} // namespace

int main(int argc, char *argv[])
{
    setSharedSignalDispositions();
#ifdef Q_OS_WIN
    const Utf8Console console;
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("emlx2eml"));

    const ParsedCommandLine parsed = parseCommandLine(QCoreApplication::arguments());
    if (!parsed.request) {
        print(parsed.exitCode == ExitConverted ? stdout : stderr, parsed.text);
        return parsed.exitCode;
    }
    const CommandLineRequest &request = *parsed.request;

    stopOnSignals();
    const auto stopRequested = [] { return stopSignal.load() != 0; };
    const GatheredSources gathered = gatherSources(request.sources, stopRequested, request.run.jobs);
    printNotes(gathered.problems, "error");

    RunOptions options = request.run;
    // A dry run without -o plans below the current folder.
    options.destination = request.output.isEmpty() ? QDir::currentPath()
                                                   : QDir::cleanPath(QDir::current().absoluteFilePath(request.output));

    TerminalProgress progress(stderr);
    const bool showProgress = !request.quiet && !options.dryRun && isatty(fileno(stderr));
    RunCallbacks callbacks;
    callbacks.stopRequested = stopRequested;
    if (showProgress)
        callbacks.progress = [&progress](int done, int total) { progress.show(done, total); };
    // A dry run's lines go out as the run plans them; the report keeps no list of the outputs.
    callbacks.outputReported = [&](const PlannedOutput &output) {
        if (!options.dryRun)
            return;
        const QByteArray line = dryRunLine(output, request.nullSeparated);
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    };

    const RunReport report = convertAll(gathered.messageFiles, options, callbacks);
    progress.finish();
    if (!report.error.isEmpty()) {
        print(stderr, QStringLiteral("emlx2eml: error: %1\n").arg(report.error));
        return ExitSomeFailed;
    }
    printNotes(report.failures, "error");
    const int stoppedBy = stopSignal.load();
    if (stoppedBy != 0)
        print(stderr, QStringLiteral("emlx2eml: stopped by %1: %2 %3 %4; the rest were not attempted\n")
                          .arg(signalName(stoppedBy))
                          .arg(report.converted)
                          .arg(report.converted == 1 ? QStringLiteral("message") : QStringLiteral("messages"))
                          .arg(options.dryRun ? QStringLiteral("planned") : QStringLiteral("written")));
    if (!request.quiet) {
        printNotes(report.warnings, "warning");
        printByReason(gathered.problems + report.failures, "failed");
        printByReason(report.warnings, "warnings");
    }
    if (!request.quiet)
        print(stderr, QStringLiteral("emlx2eml: %1\n")
                          .arg(summary(report, int(gathered.problems.size()), options.dryRun, options.update,
                                       options.destination)));
    if (stoppedBy != 0)
        return 128 + stoppedBy; // as a shell reports a program ended by that signal
    return report.succeeded() && gathered.problems.isEmpty() ? ExitConverted : ExitSomeFailed;
}
