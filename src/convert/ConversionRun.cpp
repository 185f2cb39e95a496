#include "convert/ConversionRun.h"

#include "convert/EmlxEnvelope.h"
#include "convert/HeaderReader.h"
#include "convert/MailboxFormats.h"
#include "convert/OutputPaths.h"
#include "convert/PartialMessage.h"
#include "convert/UpToDate.h"
#include "convert/UpdateRecord.h"
#include "platform/DestinationFolder.h"
#include "platform/PathHelpers.h"
#include "platform/SourceFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

QString absoluteSourceOf(const QString &entry)
{
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(entry)).absoluteFilePath());
}

// One listed entry on its way through the run.
struct Message {
    enum class State { Pending, NoMessage, Repeated, SkippedPartial, Failed, Named, UpToDate, Written };
    QString entry;
    NamingScheme scheme = NamingScheme::Original;
    QString source;
    QString absolute;
    State state = State::Pending;
    // Opened once for the envelope, the header block and the copy.
    std::unique_ptr<SourceFile> file;
    EmlxEnvelope envelope;
    FileStamp sourceStamp; // the source's modification time, as opened
    QString folder;
    QString name;
    QString target;
    QString failure;
    QList<MessageNote> warnings;
    int index = -1; // in the run's list
    // For mbox and Maildir: the mail client's state bits, the received date and the separator line.
    quint64 flags = 0;
    QDateTime received;
    QByteArray separatorLine;
    QString replaces; // a Maildir file of this message from an earlier run, under other flags
    bool fromRecord = false; // named and placed from the update record, the source not yet opened

    void fail(const QString &reason)
    {
        state = State::Failed;
        failure = reason;
    }
    void warn(const QString &text) { warnings.append(MessageNote::about(entry, text)); }
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
// write it (independent again), and report it (in list order). Messages go through in batches;
// with one job a batch is one message, and the caller hears of each.
class Run
{
public:
    Run(const RunOptions &options, const RunCallbacks &callbacks)
        : m_options(options), m_callbacks(callbacks), m_paths(options.destination, options.layout),
          m_destination(m_paths.destination()), m_folders(m_destination, !options.dryRun)
    {}

    RunReport convert(const QStringList &sources)
    {
        m_report.total = int(sources.size());
        if (!prepareDestination())
            return m_report;
        takeInTheRun(sources);
        if (usesUpdateRecord())
            m_record.load(m_destination);
        convertInBatches(sources);
        abandonUnfinishedMailboxes();
        flushWrittenFiles();
        m_report.stopped = m_stopped;
        return m_report;
    }

private:
    static constexpr int batchPerJob = 64;
    // Sources kept open from their reading to their writing; beyond this, a source is opened
    // again to be written, so that many jobs never run out of file handles.
    static constexpr int openSourcesLimit = 256;

    void convertInBatches(const QStringList &sources)
    {
        const bool oneByOne = m_options.jobs <= 1;
        const int batchSize = oneByOne ? 1 : batchPerJob * m_options.jobs;
        for (int first = 0; first < sources.size() && !stopNow(); first += batchSize) {
            const int count = qMin<int>(batchSize, int(sources.size()) - first);
            if (oneByOne && m_callbacks.messageStarted)
                m_callbacks.messageStarted(first);
            if (yieldAndCheckStop())
                break;
            std::vector<Message> batch; // its sources close with it
            m_openSources = 0;
            const NamingScheme scheme = currentScheme(); // asked here: the workers call nothing back
            for (int index = first; index < first + count; ++index) {
                batch.push_back(Message{sources[index], scheme});
                batch.back().index = index;
            }
            const auto stop = [this] { return stopNow(); };
            forEachInParallel(
                count, m_options.jobs, [&](int i) { read(batch[size_t(i)]); }, stop);
            for (Message &message : batch)
                if (!stopNow())
                    settle(message);
            // One at a time, the window's events run before the write, and a stop there leaves the
            // message unattempted.
            if (oneByOne && yieldAndCheckStop())
                break;
            if (m_options.format == OutputFormat::Mbox)
                appendToMailboxes(batch);
            else
                forEachInParallel(
                    count, m_options.jobs, [&](int i) { write(batch[size_t(i)]); }, stop);
            bool allDone = true;
            for (Message &message : batch) {
                allDone = allDone && message.state != Message::State::Named;
                report(message);
            }
            saveUpdateRecord();
            if (m_callbacks.progress && (oneByOne ? allDone : !stopNow()))
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
        m_paths.readDestinationRules();
        return true;
    }

    // What the run needs to know of all its messages before the first: which files are in it,
    // and whether its mailboxes need a folder per account.
    void takeInTheRun(const QStringList &sources)
    {
        QStringList absolute;
        for (const QString &entry : sources)
            if (!entry.trimmed().isEmpty())
                absolute << absoluteSourceOf(entry);
        m_runSources = QSet<QString>(absolute.cbegin(), absolute.cend());
        m_paths.takeInSources(absolute);
        if (m_options.format != OutputFormat::Mbox)
            return;
        QList<QPair<int, QString>> folders;
        for (int index = 0; index < sources.size(); ++index)
            if (!sources[index].trimmed().isEmpty())
                folders.append({index, m_paths.folderFor(absoluteSourceOf(sources[index])).path});
        for (const auto &[index, folder] : folders)
            m_mailboxFolders.insert(folder);
        QHash<QString, int> lastOfMailbox;
        for (const auto &[index, folder] : folders)
            lastOfMailbox[mboxPathOf(folder)] = index;
        if (m_options.update)
            takeInUpToDateMailboxes(sources, folders);
        for (auto it = lastOfMailbox.cbegin(); it != lastOfMailbox.cend(); ++it)
            m_mailboxesEndingAt[it.value()].append(it.key());
    }

    // With --update, a mailbox file that is newer than every one of its sources holds what this
    // run would write into it: it is left as it is, and its messages count as up to date.
    void takeInUpToDateMailboxes(const QStringList &sources, const QList<QPair<int, QString>> &folders)
    {
        QHash<QString, FileStamp> mailboxes; // mbox path -> its file's stamp, while no source is newer
        QSet<QString> outdated;
        for (const auto &[index, folder] : folders) {
            const QString mbox = mboxPathOf(folder);
            if (outdated.contains(mbox))
                continue;
            if (!mailboxes.contains(mbox))
                mailboxes.insert(mbox, modificationStampOf(mbox));
            const FileStamp mailbox = mailboxes.value(mbox);
            const FileStamp source = modificationStampOf(absoluteSourceOf(sources[index]));
            if (!mailbox.known || !source.known ||
                std::pair(source.modifiedSeconds, source.modifiedNanoseconds) >
                    std::pair(mailbox.modifiedSeconds, mailbox.modifiedNanoseconds))
                outdated.insert(mbox);
        }
        for (auto it = mailboxes.cbegin(); it != mailboxes.cend(); ++it)
            if (!outdated.contains(it.key()))
                m_upToDateMailboxes.insert(it.key());
    }

    // The mbox file of a mailbox folder: the folder's own path as a file; "mbox" for messages
    // that go to the destination itself. Where a mailbox of the run holds another, the inner one
    // goes into a folder named after the outer with ".sbd" added ("Projects" and
    // "Projects.sbd/Alpha"), as desktop clients keep their local folders, since one path cannot
    // be a file and a folder at once.
    QString mboxPathOf(const QString &folder) const
    {
        if (folder == m_destination)
            return m_destination + QStringLiteral("mbox");
        QString path = m_destination;
        QString outer = m_destination; // the same steps as folders of the run name them
        const QStringList steps = folder.mid(m_destination.size()).split(u'/', Qt::SkipEmptyParts);
        for (qsizetype i = 0; i < steps.size(); ++i) {
            outer += steps[i] + u'/';
            path += steps[i];
            if (i + 1 < steps.size())
                path += m_mailboxFolders.contains(outer) ? QStringLiteral(".sbd/") : QStringLiteral("/");
        }
        return path;
    }

    // Before the run reports its end, what it wrote is made sure to be on the disk. The window's
    // events go on meanwhile. A stopped run waits no longer than one turn: its caller wants to
    // end at once, and the system finishes writing the data out all the same.
    void flushWrittenFiles()
    {
        if (m_options.dryRun || m_report.outputs.isEmpty())
            return;
        QStringList files;
        for (const PlannedOutput &output : m_report.outputs)
            files << output.target;
        files.removeDuplicates(); // messages of one mailbox share its file
        auto flushed = std::make_shared<std::promise<FileResult>>();
        std::future<FileResult> result = flushed->get_future();
        auto failedPath = std::make_shared<QString>();
        std::thread([flushed, failedPath, folders = m_folders.oneFolderPerFileSystem(), files] {
            flushed->set_value(flushToDisk(folders, files, failedPath.get()));
        }).detach();
        while (result.wait_for(std::chrono::milliseconds(15)) != std::future_status::ready)
            if (yieldAndCheckStop())
                return;
        const FileResult outcome = result.get();
        if (!outcome.ok)
            m_report.failures.append(MessageNote::about(*failedPath, outcome.error));
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
        message.absolute = absoluteSourceOf(message.entry);
        if (isPartialMessageFile(message.source) && !takeFullCopyOfPartial(message))
            return;
        if (takeFromUpdateRecord(message))
            return;
        if (!readEnvelope(message))
            return;
        placeInFolder(message);
        name(message);
        if (m_options.format != OutputFormat::Eml && message.state == Message::State::Named)
            describeForMailbox(message);
        // A partial message is put together from its own files; others stay open for the copy,
        // up to a limit per batch.
        bool keepOpen = message.state == Message::State::Named && !isPartialMessageFile(message.source);
        if (keepOpen && ++m_openSources > openSourcesLimit)
            keepOpen = false;
        if (!keepOpen)
            message.file.reset();
    }

    // Opens the source and finds the message in it.
    bool readEnvelope(Message &message) const
    {
        message.file = std::make_unique<SourceFile>(message.source);
        const EmlxEnvelope::Result read = EmlxEnvelope::read(*message.file);
        if (!read.envelope) {
            message.file.reset();
            message.fail(read.error);
            return false;
        }
        message.envelope = *read.envelope;
        message.sourceStamp = message.file->stamp();
        if (!message.envelope.warning.isEmpty())
            message.warn(message.envelope.warning);
        if (!message.envelope.contentWarning.isEmpty())
            message.warn(message.envelope.contentWarning);
        return true;
    }

    void placeInFolder(Message &message) const
    {
        const OutputFolder folder = m_paths.folderFor(message.absolute);
        message.folder = folder.path;
        if (!folder.warning.isEmpty())
            message.warn(folder.warning);
    }

    // With --update, loose .eml files: the record of earlier runs names an unchanged source
    // without opening it. Partial messages are not recorded: they are always written again.
    bool usesUpdateRecord() const
    {
        return m_options.update && m_options.format == OutputFormat::Eml;
    }

    bool takeFromUpdateRecord(Message &message) const
    {
        if (!usesUpdateRecord() || isPartialMessageFile(message.source))
            return false;
        const std::optional<UpdateRecord::Entry> entry = m_record.unchangedEntryOf(message.absolute);
        if (!entry || entry->scheme != message.scheme)
            return false;
        message.envelope.fileSize = entry->sourceSize;
        message.envelope.messageOffset = entry->messageOffset;
        message.envelope.messageLength = entry->messageLength;
        message.sourceStamp = entry->sourceStamp;
        message.name = entry->name;
        message.state = Message::State::Named;
        message.fromRecord = true;
        placeInFolder(message);
        return true;
    }

    // Records what a message became, unless the record told it already.
    void recordForUpdate(const Message &message)
    {
        if (!usesUpdateRecord() || m_options.dryRun || message.fromRecord || isPartialMessageFile(message.source) ||
            (message.state != Message::State::Written && message.state != Message::State::UpToDate))
            return;
        // Where the file was opened without its stamp, the stamp is read by the source's name.
        const FileStamp stamp = message.sourceStamp.known ? message.sourceStamp : sourceStampOf(message.absolute);
        m_record.add(message.absolute, {message.envelope.fileSize, stamp, message.scheme, message.name,
                                        message.envelope.messageOffset, message.envelope.messageLength});
    }

    void saveUpdateRecord()
    {
        const FileResult saved = m_record.save();
        if (!saved.ok)
            m_report.warnings.append(MessageNote::about(UpdateRecord::pathIn(m_destination), saved.error));
    }

    // A partial message gives way to its full copy: skipped when the full copy is in the run
    // too, else the full copy is converted in its place. False when the message is skipped.
    bool takeFullCopyOfPartial(Message &message) const
    {
        const QString full = fullMessageFileOf(message.absolute);
        if (m_runSources.contains(full)) {
            message.state = Message::State::SkippedPartial;
            message.warn(QStringLiteral("skipped: its full copy %1 is converted in this run").arg(quotedPath(full)));
            return false;
        }
        if (QFileInfo(full).isFile()) {
            message.warn(
                QStringLiteral("converted from its full copy %1, which holds the whole message").arg(quotedPath(full)));
            message.source = full;
            message.absolute = full;
        }
        return true;
    }

    void name(Message &message) const
    {
        const QString ownName = OutputPaths::ownName(message.absolute);
        const NamingScheme scheme = message.scheme;
        message.state = Message::State::Named;
        if (!schemeReadsHeaders(scheme)) {
            message.name = CleanOutputName(ownName);
            return;
        }
        HeaderReader reader;
        if (!reader.LoadMessageFile(*message.file, message.envelope)) {
            message.fail(reader.errorString());
            return;
        }
        for (const QString &warning : reader.warnings())
            message.warn(warning);
        const QString name = CleanOutputName(ComposeOutputName(ownName, scheme, reader));
        message.name = name.isEmpty() ? CleanOutputName(ownName) : name;
    }

    // What the mbox separator line and the Maildir file name and date take from the message.
    void describeForMailbox(Message &message) const
    {
        const PropertyListDates plist = readPropertyListDates(message.source, message.envelope);
        message.flags = plist.flags;
        HeaderReader reader;
        const bool headers = reader.LoadMessageFile(*message.file, message.envelope);
        const QDateTime date = headers ? reader.GetDate() : plist.sent.isValid() ? plist.sent : plist.received;
        message.received = plist.received.isValid() ? plist.received : date;
        if (m_options.format == OutputFormat::Mbox)
            message.separatorLine =
                mboxSeparatorLine(reader.returnPath(), headers ? reader.GetFrom() : QString(), date);
    }

    QString targetOf(const Message &message)
    {
        switch (m_options.format) {
        case OutputFormat::Mbox:
            return mboxPathOf(message.folder);
        case OutputFormat::Maildir:
            return message.folder + QStringLiteral("cur/") + maildirUniqueName(message.absolute) +
                   QStringLiteral(":2,") + maildirFlagLetters(message.flags);
        case OutputFormat::Eml:
            break;
        }
        return m_paths.claim(message.folder, message.name);
    }

    // The folders a message's output needs: a Maildir's three, or the one that holds the file.
    QStringList foldersFor(const Message &message) const
    {
        if (m_options.format == OutputFormat::Maildir)
            return {message.folder + QStringLiteral("cur/"), message.folder + QStringLiteral("new/"),
                    message.folder + QStringLiteral("tmp/")};
        return {GetFolderPart(message.target)};
    }

    // Clears the message's folders of what an interrupted earlier run left, unless done already.
    // Safe on the worker threads; a file this run writes meanwhile is newer than the run and stays.
    void clearLeftoversBefore(const Message &message) const
    {
        if (!m_options.update)
            return; // cleared when first seen
        QStringList folders;
        {
            const std::lock_guard<std::mutex> guard(m_leftoversLock);
            for (const QString &folder : foldersFor(message))
                if (m_leftoversToClear.remove(folder))
                    folders << folder;
        }
        for (const QString &folder : folders)
            removeLeftoverTemporaryFiles(folder, m_started);
    }

    // A Maildir file name without its info part ("<unique>:2,FS" -> "<unique>").
    static QString uniqueOf(const QString &path) { return GetFileNamePart(path).section(u':', 0, 0); }

    // The files an earlier run left in a Maildir's cur/, by unique name: a message whose flags
    // changed since replaces its file there instead of standing in it twice.
    void takeInEarlierMaildirFiles(const QString &cur)
    {
        for (const QString &name : QDir(cur).entryList(QDir::Files | QDir::Hidden | QDir::System))
            if (name.contains(u':'))
                m_earlierMaildirFiles.insert(cur + uniqueOf(name), cur + name);
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
        message.target = targetOf(message);
        if (!liesBelow(message.target, m_destination)) {
            message.fail(QStringLiteral("%1 would lie outside the destination %2; nothing was written")
                             .arg(quotedPath(message.target), quotedPath(m_destination)));
            return;
        }
        // Every folder below the destination is a real one (no link leads elsewhere), made when
        // missing, and cleared of what an interrupted earlier run left in it.
        for (const QString &folder : foldersFor(message)) {
            if (m_madeFolders.contains(folder))
                continue;
            bool madeNow = false;
            const FileResult made = m_folders.ensure(folder, &madeNow);
            if (!made.ok) {
                message.fail(made.error);
                return;
            }
            m_madeFolders.insert(folder);
            // With --update most folders may get nothing new: they are cleared only before a
            // message is written into them.
            if (!m_options.dryRun && !madeNow && m_options.update)
                m_leftoversToClear.insert(folder);
            else if (!m_options.dryRun && !madeNow)
                removeLeftoverTemporaryFiles(folder, m_started);
            if (!madeNow && m_options.format == OutputFormat::Maildir && folder.endsWith(u"/cur/"))
                takeInEarlierMaildirFiles(folder);
        }
        if (m_options.format == OutputFormat::Maildir) {
            const QString earlier =
                m_earlierMaildirFiles.value(GetFolderPart(message.target) + uniqueOf(message.target));
            if (!earlier.isEmpty() && earlier != message.target)
                message.replaces = earlier;
        }
        if (m_upToDateMailboxes.contains(message.target)) {
            message.state = Message::State::UpToDate;
            message.file.reset();
            return;
        }
        if (m_options.format == OutputFormat::Mbox && !m_options.dryRun && !m_mailboxes.count(message.target))
            m_mailboxes.emplace(message.target, std::make_unique<MboxFile>(message.target));
    }

    // Writes the output. Touches nothing but `message`.
    void write(Message &message) const
    {
        if (message.state != Message::State::Named)
            return;
        if (m_options.update && alreadyUpToDate(message)) {
            message.state = Message::State::UpToDate;
            message.file.reset();
            return;
        }
        // Named from the record, but its output is not there as it was written: read as usual.
        if (message.fromRecord && !readEnvelope(message))
            return;
        if (!m_options.dryRun) {
            clearLeftoversBefore(message);
            const FileResult written = m_options.format == OutputFormat::Maildir ? writeToMaildir(message)
                                       : isPartialMessageFile(message.source)    ? writePartial(message, message.target)
                                                                                 : copy(message, message.target);
            if (!written.ok && stopNow())
                return; // stopped under way: nothing written, not attempted
            if (!written.ok) {
                message.fail(written.error);
                return;
            }
        }
        message.state = Message::State::Written;
    }

    // Whether an earlier run's output already holds what this message would become. A loose
    // .eml: the target has the message's size and the source's modification time. A partial
    // message is always written again: the size of the whole message is known only once its
    // parts are encoded (as costly as writing it), and its parts' files may have changed since.
    // In a Maildir, the file of the same unique name and flags is there from an earlier run
    // (mbox files are judged whole, when the run takes in its mailboxes).
    bool alreadyUpToDate(const Message &message) const
    {
        if (m_options.format == OutputFormat::Maildir)
            return m_earlierMaildirFiles.value(GetFolderPart(message.target) + uniqueOf(message.target)) ==
                   message.target;
        if (isPartialMessageFile(message.source))
            return false;
        const FileStamp stamp = message.sourceStamp.known ? message.sourceStamp : modificationStampOf(message.source);
        return outputMatches(message.target, message.envelope.messageLength, stamp);
    }

    FileResult copy(Message &message, const QString &path) const
    {
        const ByteRange range{message.envelope.messageOffset, message.envelope.messageLength};
        const auto keepGoing = [this] { return keepCopying(); };
        if (!message.file)
            return CopyMessageFile(message.source, path, false, range, keepGoing);
        const FileResult copied = CopyMessageFile(*message.file, path, false, range, keepGoing);
        message.file.reset();
        return copied;
    }

    FileResult writePartial(Message &message, const QString &path) const
    {
        ReassemblyResult reassembled;
        const FileResult written =
            writeFileAtomically(path, false, QFileInfo(message.source), [&](QFileDevice &out, QString *error) {
                reassembled =
                    writeReassembledMessage(message.source, message.envelope, out, [this] { return keepCopying(); });
                *error = reassembled.error;
                return reassembled.ok;
            });
        if (written.ok)
            warnOfMissingParts(message, reassembled);
        return written;
    }

    void warnOfMissingParts(Message &message, const ReassemblyResult &reassembled) const
    {
        for (const QString &part : reassembled.missingParts)
            message.warn(QStringLiteral("part %1 of the message was not found beside it; it stays empty in %2")
                             .arg(part, quotedPath(message.target)));
    }

    // The Maildir way: written complete into tmp/, given the received date, then moved into cur/.
    FileResult writeToMaildir(Message &message) const
    {
        const QString temporary = message.folder + QStringLiteral("tmp/") + maildirUniqueName(message.absolute);
        const FileResult written =
            isPartialMessageFile(message.source) ? writePartial(message, temporary) : copy(message, temporary);
        if (!written.ok)
            return written;
        if (message.received.isValid()) {
            QFile file(temporary);
            if (!file.open(QIODevice::Append) || !file.setFileTime(message.received, QFileDevice::FileModificationTime))
                message.warn(QStringLiteral("could not give %1 the message's received date: %2")
                                 .arg(quotedPath(message.target), file.errorString()));
        }
        std::error_code error;
        std::filesystem::rename(toFsPath(temporary), toFsPath(message.target), error);
        if (!error) {
            if (!message.replaces.isEmpty())
                QFile::remove(message.replaces);
            return {};
        }
        QFile::remove(temporary);
        return FileResult::failure(
            QStringLiteral("cannot move %1 into %2: %3")
                .arg(quotedPath(temporary), quotedPath(message.target), QString::fromLocal8Bit(error.message())));
    }

    // The messages of a batch appended to their mailboxes one after the other, in list order.
    void appendToMailboxes(std::vector<Message> &batch)
    {
        for (Message &message : batch) {
            if (stopNow())
                return;
            if (message.state != Message::State::Named)
                continue;
            if (!m_options.dryRun) {
                clearLeftoversBefore(message);
                const FileResult written = appendToMailbox(message);
                if (!written.ok && stopNow())
                    return; // stopped under way: taken back out, not attempted
                if (!written.ok) {
                    message.fail(written.error);
                    continue;
                }
            }
            message.state = Message::State::Written;
        }
    }

    FileResult appendToMailbox(Message &message)
    {
        MboxFile &mailbox = *m_mailboxes.at(message.target);
        QString error;
        QIODevice *out = mailbox.beginMessage(message.separatorLine, &error);
        if (!out)
            return FileResult::failure(error);
        if (m_options.mboxStatus) {
            const QByteArray status = mboxStatusHeaders(message.flags);
            writeAll(*out, status.constData(), status.size());
        }
        const FileResult written = writeMessageTo(message, *out);
        if (!written.ok) {
            mailbox.dropMessage();
            return written;
        }
        return mailbox.endMessage();
    }

    // The message's bytes as an .eml file gets them, written to `out`.
    FileResult writeMessageTo(Message &message, QIODevice &out) const
    {
        if (isPartialMessageFile(message.source)) {
            const ReassemblyResult reassembled =
                writeReassembledMessage(message.source, message.envelope, out, [this] { return keepCopying(); });
            if (!reassembled.ok)
                return FileResult::failure(reassembled.error);
            warnOfMissingParts(message, reassembled);
            return {};
        }
        std::unique_ptr<SourceFile> file = std::move(message.file);
        if (!file)
            file = std::make_unique<SourceFile>(message.source);
        if (!file->isOpen() && !file->open())
            return FileResult::failure(file->failure());
        constexpr qint64 chunk = 256 << 10;
        QByteArray buffer(chunk, Qt::Uninitialized);
        const qint64 end = message.envelope.messageOffset + message.envelope.messageLength;
        for (qint64 at = message.envelope.messageOffset; at < end;) {
            if (!keepCopying())
                return FileResult::failure(QStringLiteral("stopped"));
            qint64 got = 0;
            if (!file->readAt(at, buffer.data(), qMin(chunk, end - at), &got) || got <= 0)
                return FileResult::failure(QStringLiteral("cannot read %1: %2")
                                               .arg(quotedPath(message.source),
                                                    got == 0 ? QStringLiteral("it ended early") : file->errorString()));
            if (!writeAll(out, buffer.constData(), got))
                return FileResult::failure(QStringLiteral("cannot write the mailbox %1: %2")
                                               .arg(quotedPath(message.target), out.errorString()));
            at += got;
        }
        return {};
    }

    // A mailbox takes its name once its last message in the list is through, unless a stop
    // came before all of its messages were.
    void finishMailboxesEndingAt(const Message &message)
    {
        if (m_stopped && message.state != Message::State::Written)
            return;
        for (const QString &path : m_mailboxesEndingAt.value(message.index)) {
            const auto mailbox = m_mailboxes.find(path);
            if (mailbox == m_mailboxes.end())
                continue;
            const FileResult finished = mailbox->second->finish();
            m_mailboxes.erase(mailbox);
            if (!finished.ok) {
                takeBackOutputsOf(path);
                m_report.failures.append(MessageNote::about(path, finished.error));
            }
        }
    }

    // What a stopped run leaves unfinished is removed: no half mailbox, and its messages not reported written.
    void abandonUnfinishedMailboxes()
    {
        for (const auto &[path, mailbox] : m_mailboxes)
            takeBackOutputsOf(path);
        m_mailboxes.clear();
    }

    void takeBackOutputsOf(const QString &mailbox)
    {
        const qsizetype removed =
            m_report.outputs.removeIf([&](const PlannedOutput &output) { return output.target == mailbox; });
        m_report.converted -= int(removed);
    }

    void report(const Message &message)
    {
        if (message.state == Message::State::Named)
            return; // a stop came before it was written: not attempted
        m_report.warnings += message.warnings;
        recordForUpdate(message);
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
            m_report.failures.append(MessageNote::about(message.entry, message.failure));
            break;
        case Message::State::UpToDate:
            ++m_report.upToDate;
            break;
        case Message::State::Written:
            ++m_report.converted;
            m_report.outputs.append({message.entry, message.target});
            break;
        case Message::State::Pending:
        case Message::State::Named:
            break;
        }
        if (m_options.format == OutputFormat::Mbox && message.state != Message::State::Pending)
            finishMailboxesEndingAt(message);
    }

    const RunOptions &m_options;
    const RunCallbacks &m_callbacks;
    OutputPaths m_paths;
    const QString m_destination;
    RealFoldersBelow m_folders;
    const QDateTime m_started = QDateTime::currentDateTime();
    QSet<QString> m_runSources; // every message file listed, as an absolute path
    mutable std::atomic<bool> m_stopped{false};
    mutable std::atomic<int> m_openSources{0};
    RunReport m_report;
    QSet<QString> m_madeFolders;               // folders made sure of
    mutable QSet<QString> m_leftoversToClear; // with --update: folders not yet cleared of leftovers
    mutable std::mutex m_leftoversLock;
    QSet<QString> m_seenSources;
    std::map<QString, std::unique_ptr<MboxFile>> m_mailboxes; // mbox files being written
    QHash<int, QStringList> m_mailboxesEndingAt; // list index -> the mailboxes it ends
    QSet<QString> m_upToDateMailboxes; // mbox files that no source of theirs is newer than
    QSet<QString> m_mailboxFolders; // the folders the run's messages go to, for mbox names
    QHash<QString, QString> m_earlierMaildirFiles; // cur/ folder + unique name -> the file there
    UpdateRecord m_record;
};

} // namespace

RunReport convertAll(const QStringList &sources, const RunOptions &options, const RunCallbacks &callbacks)
{
    return Run(options, callbacks).convert(sources);
}
