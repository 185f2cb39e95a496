#include "cli/CommandLine.h"

#include "list/FolderScan.h"
#include "platform/PathHelpers.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace {

ParsedCommandLine usageError(const QString &message)
{
    return {std::nullopt, QStringLiteral("emlx2eml: %1\nTry 'emlx2eml --help' for more information.\n").arg(message),
            ExitUsage};
}

// The help's usage line names the program as "emlx2eml", not by the path it was started with
// (a whole "C:\...\emlx2eml.exe" on Windows).
QString usageNamed(QString help)
{
    const QString usage = QStringLiteral("Usage: ");
    const qsizetype end = help.indexOf(QStringLiteral(" [options]"));
    if (help.startsWith(usage) && end > 0 && !help.left(end).contains(u'\n'))
        help.replace(usage.size(), end - usage.size(), QStringLiteral("emlx2eml"));
    return help;
}

// How a name under the scheme looks: "Subject dd-mm-yyyy.eml".
QString schemeShape(const NamingSchemeRow &row)
{
    const QList<NameField> fields = schemeFields(row.scheme);
    if (fields.isEmpty())
        return QStringLiteral("the file's own name, .emlx becoming .eml");
    QStringList words;
    for (NameField field : fields)
        words.append(field == NameField::Date      ? QString(row.dateFormat)
                     : field == NameField::Subject ? QStringLiteral("Subject")
                                                   : QStringLiteral("From"));
    return words.join(u' ') + QStringLiteral(".eml");
}

// "'mirror' repeats each source's whole folder path; 'mailboxes' keeps only ...".
template <typename Row>
QString namedChoices(const Row &rows)
{
    QStringList choices;
    for (const auto &row : rows)
        choices << QStringLiteral("'%1' %2").arg(row.name, row.help);
    return choices.join(QStringLiteral("; "));
}

QString layoutHelp()
{
    return namedChoices(outputLayouts);
}

QString formatHelp()
{
    return namedChoices(outputFormats);
}

// "unknown format 'x'; use eml, mbox or maildir".
QString unknownName(const QString &what, const QString &given, const QStringList &names)
{
    const QString choices = names.size() == 1 ? names.first()
                                              : names.mid(0, names.size() - 1).join(QStringLiteral(", ")) +
                                                    QStringLiteral(" or ") + names.last();
    return QStringLiteral("unknown %1 '%2'; use %3").arg(what, given, choices);
}

// What --help tells after the options; the man page is made from the whole help text.
QString helpEpilogue()
{
    QString text = QStringLiteral("\nNaming schemes:\n");
    for (const NamingSchemeRow &row : namingSchemes)
        text += QStringLiteral("  %1  %2\n").arg(row.name, -21).arg(schemeShape(row));
    text += QStringLiteral("Characters that file names may not hold are removed. Two messages that would get\n"
                           "the same name get \" (2)\", \" (3)\", ... before .eml.\n");
    return text + QStringLiteral("\nExit status:\n"
                                 "  0                      Every message was converted.\n"
                                 "  1                      A message or a source failed; the others were done.\n"
                                 "  2                      Usage error; nothing was converted.\n"
                                 "  129, 130, 143          Stopped by SIGHUP, SIGINT (Ctrl+C) or SIGTERM; the\n"
                                 "                         messages not yet written were not attempted.\n"
                                 "\nExamples:\n"
                                 "  emlx2eml -o ~/Converted -n subject-date ~/Library/Mail\n"
                                 "  emlx2eml -o ~/Mbox --layout mailboxes --format mbox ~/Library/Mail\n"
                                 "  emlx2eml -o ~/Maildir --layout mailboxes --format maildir ~/Library/Mail\n");
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Converts Mac mail .emlx message files into .eml files that other mail programs open.\n"
                       "Each SOURCE is an .emlx file or a folder, whose whole tree is scanned for .emlx files.\n"
                       "Each message goes below DIR into folders that mirror the folders it came from.\n"
                       "A DIR that would put any output beside the messages (such as /) is refused."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Destination folder (created when missing)."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption naming(
        {QStringLiteral("n"), QStringLiteral("naming")},
        QStringLiteral("How output files are named: %1.").arg(schemeNames().join(QStringLiteral(", "))),
        QStringLiteral("SCHEME"), QStringLiteral("original"));
    const QCommandLineOption layout(QStringLiteral("layout"), QStringLiteral("Folders below DIR: %1.").arg(layoutHelp()),
                                    QStringLiteral("LAYOUT"), QString(outputLayouts[0].name));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("What each mailbox's folder gets: %1.").arg(formatHelp()),
                                    QStringLiteral("FORMAT"), QString(outputFormats[0].name));
    const QCommandLineOption mboxStatus(
        QStringLiteral("mbox-status"),
        QStringLiteral("With --format mbox: write Status, X-Status and X-Mozilla-Status headers that keep the "
                       "read, answered, flagged, draft, deleted and forwarded state, in place of the message's "
                       "own (this changes the messages)."));
    const QCommandLineOption jobs({QStringLiteral("j"), QStringLiteral("jobs")},
                                  QStringLiteral("Messages converted at once (default: the number of cores). "
                                                 "The result is the same for any number."),
                                  QStringLiteral("N"), QString::number(QThread::idealThreadCount()));
    const QCommandLineOption dryRun(
        QStringLiteral("dry-run"),
        QStringLiteral("Write nothing; print each source and the output path it would get, a tab between them, "
#ifdef Q_OS_WIN
                       "one message a line, in UTF-8 (no Windows name holds a tab or a line break)."));
#else
                       "one message a line. A backslash, tab, line break or carriage return inside a path is "
                       "written as \\\\, \\t, \\n or \\r."));
#endif
    const QCommandLineOption nullSeparated(
        QStringLiteral("null"),
        QStringLiteral("With --dry-run: end each source and each output path with a NUL byte instead, "
                       "paths as they are (for xargs -0)."));
    const QCommandLineOption update(
        QStringLiteral("update"),
        QStringLiteral("Leave alone each output that an earlier run already wrote: a file of the same path whose "
                       "size is the message's and whose modification time is its source's. Messages whose "
                       "attachments are kept apart are always written again. Maildir: the file of the same unique "
                       "name and flags is there. mbox: no source is newer than the mailbox file. With the same "
                       "sources and naming, an interrupted run started again writes only what is missing. "
                       "Loose .eml files: a record kept in the destination (.emlx2eml-update) spares a later "
                       "run with --update reading sources that are unchanged."));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("Print errors only."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the program's version."));
    parser.addOptions({output, naming, layout, format, mboxStatus, jobs, dryRun, nullSeparated, update, quiet, help, version});
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("An .emlx file or a folder."),
                                 QStringLiteral("SOURCE..."));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        return {std::nullopt, usageNamed(parser.helpText()) + helpEpilogue(), ExitConverted};
    if (parser.isSet(version))
        return {std::nullopt,
                QStringLiteral("emlx2eml %1 (package %2)\n")
                    .arg(QStringLiteral(APP_VERSION), QStringLiteral(EMLX_PACKAGE_VERSION)),
                ExitConverted};

    CommandLineRequest request;
    RunOptions &run = request.run;
    const std::optional<NamingScheme> scheme = schemeFromName(parser.value(naming));
    if (!scheme)
        return usageError(QStringLiteral("unknown naming scheme '%1'; use one of: %2")
                              .arg(parser.value(naming), schemeNames().join(QStringLiteral(", "))));
    run.scheme = *scheme;
    const std::optional<OutputLayout> layoutChosen = layoutFromName(parser.value(layout));
    if (!layoutChosen)
        return usageError(unknownName(QStringLiteral("layout"), parser.value(layout), layoutNames()));
    run.layout = *layoutChosen;
    const std::optional<OutputFormat> formatChosen = formatFromName(parser.value(format));
    if (!formatChosen)
        return usageError(unknownName(QStringLiteral("format"), parser.value(format), formatNames()));
    run.format = *formatChosen;
    run.mboxStatus = parser.isSet(mboxStatus);
    if (run.mboxStatus && run.format != OutputFormat::Mbox)
        return usageError(QStringLiteral("--mbox-status goes with --format mbox only"));
    bool jobsOk = false;
    run.jobs = parser.value(jobs).toInt(&jobsOk);
    if (!jobsOk || run.jobs < 1 || run.jobs > 256)
        return usageError(
            QStringLiteral("--jobs takes a whole number from 1 to 256, not '%1'").arg(parser.value(jobs)));
    request.sources = parser.positionalArguments();
    if (request.sources.isEmpty())
        return usageError(QStringLiteral("no SOURCE given"));
    request.output = parser.value(output);
    run.dryRun = parser.isSet(dryRun);
    request.quiet = parser.isSet(quiet);
    run.update = parser.isSet(update);
    request.nullSeparated = parser.isSet(nullSeparated);
    if (request.nullSeparated && !run.dryRun)
        return usageError(QStringLiteral("--null goes with --dry-run only"));
    if (request.output.isEmpty() && !run.dryRun)
        return usageError(QStringLiteral("no destination folder given (-o DIR)"));
    return {request, {}, ExitConverted};
}

GatheredSources gatherSources(const QStringList &sources, const std::function<bool()> &stopRequested, int jobs)
{
    GatheredSources gathered;
    for (const QString &source : sources) {
        if (stopRequested && stopRequested())
            break;
        const QFileInfo info(source);
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (info.isDir()) {
            const FolderScanResult scan = scanForMessageFiles(
                path, {}, stopRequested, [&gathered](const QString &file) { gathered.messageFiles.append(file); }, {},
                jobs);
            gathered.problems += scan.problemNotes();
        } else if (info.exists()) {
            gathered.messageFiles.append(path);
        } else {
            gathered.problems.append({source, NoteReason::SourceGone, QStringLiteral("no such file or folder")});
        }
    }
    return gathered;
}

QByteArray dryRunLine(const PlannedOutput &output, bool nullSeparated)
{
#ifdef Q_OS_WIN
    // A backslash is the separator here, and no Windows name holds a tab, a line break or a NUL:
    // the paths go out as they are, in UTF-8.
    const QByteArray source = QDir::toNativeSeparators(output.source).toUtf8();
    const QByteArray target = QDir::toNativeSeparators(output.target).toUtf8();
    if (nullSeparated)
        return source + '\0' + target + '\0';
    return source + '\t' + target + '\n';
#else
    const QByteArray source = QFile::encodeName(output.source);
    const QByteArray target = QFile::encodeName(output.target);
    QByteArray line;
    line.reserve(source.size() + target.size() + 2);
    if (nullSeparated)
        return line.append(source).append('\0').append(target).append('\0');
    // The runs between the four characters are copied whole.
    const auto appendEscaped = [&line](const QByteArray &path) {
        qsizetype from = 0;
        for (qsizetype at = 0; at < path.size(); ++at) {
            const char c = path[at];
            const char *escape = c == '\\' ? "\\\\"
                                 : c == '\t' ? "\\t"
                                 : c == '\n' ? "\\n"
                                 : c == '\r' ? "\\r"
                                             : nullptr;
            if (!escape)
                continue;
            line.append(path.constData() + from, at - from).append(escape);
            from = at + 1;
        }
        line.append(path.constData() + from, path.size() - from);
    };
    appendEscaped(source);
    line.append('\t');
    appendEscaped(target);
    return line.append('\n');
#endif
}
