#include "ConversionRun.h"

#include "EmlxEnvelope.h"
#include "HeaderReader.h"
#include "PartialMessage.h"
#include "platform/PathHelpers.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryFile>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace {

QString withTrailingSlash(QString folder)
{
    folder = QDir::fromNativeSeparators(folder);
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

// Whether names in `folder` that differ only in letter case are the same file.
bool ignoresLetterCase(const QString &folder)
{
    QTemporaryFile probe(folder + QStringLiteral("case-probe-XXXXXX"));
    if (probe.open()) {
        const QString name = GetFileNamePart(probe.fileName());
        return QFileInfo::exists(folder + name.toUpper()) && QFileInfo::exists(folder + name.toLower());
    }
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return true;
#else
    return false;
#endif
}

// One listed entry on its way through the run.
struct Message {
    enum class State { Pending, NoMessage, Repeated, SkippedPartial, Failed, Named, Written };
    QString entry;
    NamingScheme scheme = NamingScheme::Original;
    QString source;
    QString absolute;
    State state = State::Pending;
    EmlxEnvelope envelope;
    QString folder;
    QString name;
    QString target;
    QString failure;
    QList<MessageNote> warnings;

    void fail(const QString &reason)
    {
        state = State::Failed;
        failure = reason;
    }
    void warn(const QString &text) { warnings.append({entry, text}); }
};

// Runs work(0) ... work(count - 1) on up to `jobs` threads, the calling one included, until
// `stop` says so: each thread asks before taking its next item.
void forEachInParallel(int count, int jobs, const std::function<void(int)> &work, const std::function<bool()> &stop)
{
    std::atomic<int> next{0};
    const auto worker = [&] {
        for (int index = next++; index < count && !stop(); index = next++)
            work(index);
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < qMin(jobs, count); ++i)
        helpers.emplace_back(worker);
    worker();
    for (std::thread &helper : helpers)
        helper.join();
}

// A run goes through each message in four steps: read and name it (independent of the
// others), settle its output path (in list order: numbering depends on the earlier ones),
// write it (independent again), and report it (in list order).
class Run
{
public:
    Run(const RunOptions &options, const RunCallbacks &callbacks)
        : m_options(options), m_callbacks(callbacks), m_destination(withTrailingSlash(options.destination))
    {}

    RunReport convert(const QStringList &sources)
    {
        m_report.total = int(sources.size());
        if (!prepareDestination())
            return m_report;
        if (m_options.jobs > 1)
            convertInBatches(sources);
        else
            convertOneByOne(sources);
        m_report.stopped = m_stopped;
        return m_report;
    }

private:
    static constexpr int batchPerJob = 64;

    void convertOneByOne(const QStringList &sources)
    {
        for (int index = 0; index < sources.size() && !stopNow(); ++index) {
            if (m_callbacks.messageStarted)
                m_callbacks.messageStarted(index);
            if (yieldAndCheckStop())
                break;
            Message message{sources[index], currentScheme()};
            read(message);
            settle(message);
            if (yieldAndCheckStop())
                break;
            write(message);
            if (message.state == Message::State::Named)
                break; // stopped while it was copied
            report(message);
            if (m_callbacks.progress)
                m_callbacks.progress(index + 1, m_report.total);
        }
    }

    void convertInBatches(const QStringList &sources)
    {
        const int batchSize = batchPerJob * m_options.jobs;
        for (int first = 0; first < sources.size() && !yieldAndCheckStop(); first += batchSize) {
            std::vector<Message> batch;
            const NamingScheme scheme = currentScheme(); // asked here: the workers call nothing back
            for (int index = first; index < qMin<int>(first + batchSize, sources.size()); ++index)
                batch.push_back(Message{sources[index], scheme});
            const int count = int(batch.size());
            const auto stop = [this] { return stopNow(); };
            forEachInParallel(
                count, m_options.jobs, [&](int i) { read(batch[size_t(i)]); }, stop);
            for (Message &message : batch)
                if (!stopNow())
                    settle(message);
            forEachInParallel(
                count, m_options.jobs, [&](int i) { write(batch[size_t(i)]); }, stop);
            for (Message &message : batch)
                report(message);
            if (m_callbacks.progress && !stopNow())
                m_callbacks.progress(first + count, m_report.total);
        }
    }

    bool prepareDestination()
    {
        if (m_options.destination.trimmed().isEmpty()) {
            m_report.error = QStringLiteral("no destination folder was given");
            return false;
        }
        if (!m_options.dryRun) {
            const FileResult made = EnsureFolderExists(m_destination);
            if (!made.ok) {
                m_report.error = made.error;
                return false;
            }
        }
        m_ignoreCase = ignoresLetterCase(m_destination);
        return true;
    }

    // Safe on the worker threads: the request, once seen, is kept in an atomic flag.
    bool stopNow() const
    {
        if (!m_stopped && m_callbacks.stopRequested && m_callbacks.stopRequested())
            m_stopped = true;
        return m_stopped;
    }

    // Asked between chunks of a copy: with one job the caller's events run there too.
    bool keepCopying() const
    {
        if (m_options.jobs <= 1 && m_callbacks.yield)
            m_callbacks.yield();
        return !stopNow();
    }

    bool yieldAndCheckStop()
    {
        if (m_callbacks.yield)
            m_callbacks.yield();
        return stopNow();
    }

    NamingScheme currentScheme() const { return m_callbacks.scheme ? m_callbacks.scheme() : m_options.scheme; }

    // Reads the envelope and the headers the name needs. Touches nothing but `message`.
    void read(Message &message) const
    {
        if (message.entry.trimmed().isEmpty()) {
            message.state = Message::State::NoMessage;
            return;
        }
        message.source = QDir::fromNativeSeparators(message.entry);
        message.absolute = QDir::cleanPath(QFileInfo(message.source).absoluteFilePath());
        if (isPartialMessageFile(message.source) && QFileInfo(fullMessageFileOf(message.source)).isFile()) {
            message.state = Message::State::SkippedPartial;
            message.warn(QStringLiteral("skipped: the full copy %1 of this partial message is converted instead")
                             .arg(QuotedPath(fullMessageFileOf(message.entry))));
            return;
        }
        const EmlxEnvelope::Result read = EmlxEnvelope::read(message.source);
        if (!read.envelope) {
            message.fail(read.error);
            return;
        }
        message.envelope = *read.envelope;
        if (!message.envelope.warning.isEmpty())
            message.warn(message.envelope.warning);
        if (!message.envelope.contentWarning.isEmpty())
            message.warn(message.envelope.contentWarning);
        message.folder = m_destination + outputFolderBelowDestination(message.absolute, m_options.layout);
        name(message);
    }

    void name(Message &message) const
    {
        QString fileName = GetFileNamePart(message.absolute);
        const QString ownName = ownOutputName(fileName.replace(QStringLiteral(".emlx"), QStringLiteral(".eml")));
        const NamingScheme scheme = message.scheme;
        message.state = Message::State::Named;
        if (!schemeReadsHeaders(scheme)) {
            message.name = CleanOutputName(ownName);
            return;
        }
        HeaderReader reader;
        if (!reader.LoadMessageFile(message.source, message.envelope)) {
            message.fail(reader.errorString());
            return;
        }
        for (const QString &warning : reader.warnings())
            message.warn(warning);
        const QString name = CleanOutputName(ComposeOutputName(ownName, scheme, reader));
        message.name = name.isEmpty() ? CleanOutputName(ownName) : name;
    }

    // In list order: a source seen before is not converted again, and a name an earlier
    // message took gets a number.
    void settle(Message &message)
    {
        if (message.state == Message::State::NoMessage)
            return;
        if (m_seenSources.contains(message.absolute)) {
            message.state = Message::State::Repeated;
            message.warnings.clear();
            return;
        }
        m_seenSources.insert(message.absolute);
        if (message.state != Message::State::Named)
            return;
        message.target = claimTarget(message.folder, message.name);
        if (m_options.dryRun || m_madeFolders.contains(message.folder))
            return;
        const FileResult made = EnsureFolderExists(message.folder);
        if (made.ok)
            m_madeFolders.insert(message.folder);
        else
            message.fail(made.error);
    }

    // Writes the output. Touches nothing but `message`.
    void write(Message &message) const
    {
        if (message.state != Message::State::Named)
            return;
        if (!m_options.dryRun) {
            const FileResult written =
                isPartialMessageFile(message.source)
                    ? writePartial(message)
                    : CopyMessageFile(message.source, message.target, false,
                                      {message.envelope.messageOffset, message.envelope.messageLength},
                                      [this] { return keepCopying(); });
            if (!written.ok && stopNow())
                return; // stopped under way: nothing written, not attempted
            if (!written.ok) {
                message.fail(written.error);
                return;
            }
        }
        message.state = Message::State::Written;
    }

    FileResult writePartial(Message &message) const
    {
        ReassemblyResult reassembled;
        const FileResult written = WriteFileAtomically(
            message.target, false, QFileInfo(message.source), [&](QFileDevice &out, QString *error) {
                reassembled =
                    writeReassembledMessage(message.source, message.envelope, out, [this] { return keepCopying(); });
                *error = reassembled.error;
                return reassembled.ok;
            });
        if (written.ok)
            for (const QString &part : reassembled.missingParts)
                message.warn(QStringLiteral("part %1 of the message was not found beside it; it stays empty in %2")
                                 .arg(part, QuotedPath(message.target)));
        return written;
    }

    void report(const Message &message)
    {
        if (message.state == Message::State::Named)
            return; // a stop came before it was written: not attempted
        m_report.warnings += message.warnings;
        switch (message.state) {
        case Message::State::NoMessage:
            ++m_report.emptyEntries;
            break;
        case Message::State::Repeated:
            ++m_report.repeatedSources;
            break;
        case Message::State::SkippedPartial:
            ++m_report.skippedPartials;
            break;
        case Message::State::Failed:
            m_report.failures.append({message.entry, message.failure});
            break;
        case Message::State::Written:
            ++m_report.converted;
            m_report.outputs.append({message.entry, message.target});
            break;
        case Message::State::Pending:
        case Message::State::Named:
            break;
        }
    }

    // The path for this message, numbered when an earlier message of the run has it already.
    // Numbering goes on from where the last message of that name stopped, so many alike
    // names cost no more than a few.
    QString claimTarget(const QString &folder, const QString &name)
    {
        const QString plain = folder + name;
        QString target = plain;
        int &next = m_nextNumber[targetKey(plain)];
        for (int n = qMax(next, 2); m_claimedTargets.contains(targetKey(target)); ++n) {
            target = folder + numberedOutputName(name, n);
            next = n + 1;
        }
        m_claimedTargets.insert(targetKey(target));
        return target;
    }

    QString targetKey(const QString &target) const { return m_ignoreCase ? target.toCaseFolded() : target; }

    const RunOptions &m_options;
    const RunCallbacks &m_callbacks;
    const QString m_destination;
    bool m_ignoreCase = false;
    mutable std::atomic<bool> m_stopped{false};
    RunReport m_report;
    QSet<QString> m_madeFolders;
    QSet<QString> m_claimedTargets;
    QHash<QString, int> m_nextNumber;
    QSet<QString> m_seenSources;
};

} // namespace

QString outputFolderBelowDestination(const QString &absoluteSource, OutputLayout layout)
{
    const QString folder = GetFolderPart(absoluteSource);
    if (layout == OutputLayout::Mirror)
        return DropPathRoot(QString(folder).replace(QStringLiteral(".emlx"), QStringLiteral(".eml")));
    QString mailboxes;
    for (const QString &part : folder.split(u'/', Qt::SkipEmptyParts)) {
        for (const QString suffix : {QStringLiteral(".mbox"), QStringLiteral(".imapmbox")})
            if (part.endsWith(suffix, Qt::CaseInsensitive) && part.size() > suffix.size())
                mailboxes += part.chopped(suffix.size()) + u'/';
    }
    return mailboxes;
}

RunReport convertAll(const QStringList &sources, const RunOptions &options, const RunCallbacks &callbacks)
{
    return Run(options, callbacks).convert(sources);
}
