#include "CommandLine.h"
#include "TerminalProgress.h"

#include <QCoreApplication>
#include <QDir>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

std::atomic<bool> interrupted{false};

void stopOnInterrupt(int)
{
    interrupted = true;
}

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

void printNotes(const QList<MessageNote> &notes, const char *kind)
{
    for (const MessageNote &note : notes) {
        const QString source = QDir::toNativeSeparators(note.source);
        const QString text =
            note.text.contains(source) ? note.text : u'"' + source + QStringLiteral("\": ") + note.text;
        print(stderr, QStringLiteral("emlx2eml: %1: %2\n").arg(QLatin1String(kind), text));
    }
}

// "1 warning", "2 warnings".
QString counted(qsizetype count, const QString &one, const QString &many)
{
    return QString::number(count) + u' ' + (count == 1 ? one : many);
}

QString summary(const RunReport &report, int sourceProblems, bool dryRun)
{
    QString line =
        QStringLiteral("%1 %2, %3 failed, %4")
            .arg(report.converted)
            .arg(dryRun ? QStringLiteral("would be converted (dry run: nothing written)") : QStringLiteral("converted"))
            .arg(report.failures.size() + sourceProblems)
            .arg(counted(report.warnings.size(), QStringLiteral("warning"), QStringLiteral("warnings")));
    if (report.skippedPartials > 0)
        line += QStringLiteral(", ") + counted(report.skippedPartials,
                                               QStringLiteral("partial copy skipped for its full copy"),
                                               QStringLiteral("partial copies skipped for their full copies"));
    if (report.repeatedSources > 0)
        line += QStringLiteral(", %1 listed more than once (written once)").arg(report.repeatedSources);
    return line;
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef SIGXFSZ
    // Past a file-size limit a write should fail and be reported, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("emlx2eml"));

    const ParsedCommandLine parsed = parseCommandLine(QCoreApplication::arguments());
    if (!parsed.request) {
        print(parsed.exitCode == ExitConverted ? stdout : stderr, parsed.text);
        return parsed.exitCode;
    }
    const CommandLineRequest &request = *parsed.request;

    const GatheredSources gathered = gatherSources(request.sources);
    printNotes(gathered.problems, "error");

    RunOptions options;
    options.destination =
        request.output.isEmpty() ? QString() : QDir::cleanPath(QDir::current().absoluteFilePath(request.output));
    options.scheme = request.scheme;
    options.dryRun = request.dryRun;
    options.layout = request.layout;
    options.jobs = request.jobs;
    if (options.destination.isEmpty())
        options.destination = QDir::currentPath(); // a dry run without -o plans below the current folder

    TerminalProgress progress(stderr);
    const bool showProgress = !request.quiet && !request.dryRun && isatty(fileno(stderr));
    RunCallbacks callbacks;
    // Ctrl+C lets the messages in hand finish, so no temporary file is left behind.
    std::signal(SIGINT, stopOnInterrupt);
    std::signal(SIGTERM, stopOnInterrupt);
    callbacks.stopRequested = [] { return interrupted.load(); };
    if (showProgress)
        callbacks.progress = [&progress](int done, int total) { progress.show(done, total); };

    const RunReport report = convertAll(gathered.messageFiles, options, callbacks);
    progress.finish();
    if (!report.error.isEmpty()) {
        print(stderr, QStringLiteral("emlx2eml: error: %1\n").arg(report.error));
        return ExitSomeFailed;
    }
    if (request.dryRun)
        for (const PlannedOutput &output : report.outputs) {
            const QByteArray line = dryRunLine(output, request.nullSeparated);
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        }
    printNotes(report.failures, "error");
    if (report.stopped)
        print(stderr,
              QStringLiteral("emlx2eml: interrupted: the messages after the last one converted were not touched\n"));
    if (!request.quiet)
        printNotes(report.warnings, "warning");
    if (!request.quiet)
        print(stderr,
              QStringLiteral("emlx2eml: %1\n").arg(summary(report, int(gathered.problems.size()), request.dryRun)));
    return report.succeeded() && gathered.problems.isEmpty() ? ExitConverted : ExitSomeFailed;
}
