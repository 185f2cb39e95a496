#include "convert/ConversionRun.h"

#include "convert/FolderMemory.h"
#include "convert/MessageContent.h"
#include "convert/MessageReader.h"
#include "convert/OutputPaths.h"
#include "convert/PartialMessage.h"
#include "convert/RunMessage.h"
#include "convert/SourceFolders.h"
#include "convert/output/MessageOutput.h"
#include "convert/output/OutputFolders.h"
#include "platform/DestinationFolder.h"
#include "platform/OpenFolders.h"
#include "platform/PathHelpers.h"
#include "platform/WorkerThreads.h"

#include <QSet>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

// A run goes through each message in four steps: read and name it (independent of the
// others), settle its output path (in list order: numbering depends on the earlier ones),
// write it (independent again, unless the format writes one file in list order), and report it
// (in list order). Messages go through in batches; with one job a batch is one message, and the
// caller hears of each. What the format does at each step, its writer (MessageOutput) decides.
class Run
{
public:
    Run(const RunOptions &options, const RunCallbacks &callbacks)
        : m_options(options), m_callbacks(callbacks), m_destination(options.destination),
          m_paths(m_destination, options.layout,
                  [this](const QString &folder) { return m_output && m_output->reservesFolder(folder); }),
          m_folders(m_destination, options.dryRun, options.update),
          m_output(formatRow(options.format).make({options, m_destination, m_paths, m_folders}))
    {}

    RunReport convert(const MessageSources &sources)
    {
        m_report.total = int(sources.count());
        if (!prepareDestination(sources))
            return m_report;
        convertInBatches(sources);
        m_output->finish(m_report);
        flushWrittenFiles();
        m_report.stopped = m_stopped;
        return m_report;
    }

private:
    static constexpr int batchPerJob = 64;

    // A share of the list on its way through the run, its messages in list order.
    struct Batch {
        std::vector<RunMessage> messages;
        int first = 0;
        std::atomic<int> openSources{0}; // kept open from their reading to their writing
        WorkerThreads::Ticket reading = 0;
        int end() const { return first + int(messages.size()); }
    };

    void convertInBatches(const MessageSources &sources)
    {
        if (m_options.jobs <= 1)
            convertOneByOne(sources);
        else
            convertAlongside(sources);
    }

    // One job: the caller hears of each message before it is read, and its events run before
    // each step; a stop before the write leaves the message unattempted.
    void convertOneByOne(const MessageSources &sources)
    {
        for (int index = 0; index < sources.count() && !stopNow(); ++index) {
            if (m_callbacks.messageStarted)
                m_callbacks.messageStarted(index);
            if (yieldAndCheckStop())
                break;
            const std::unique_ptr<Batch> batch = batchOf(sources, index, 1);
            m_reader.read(batch->messages.front(), batch->openSources);
            settleAll(*batch);
            if (yieldAndCheckStop())
                break;
            writeAll(*batch);
            const bool allDone = reportAll(*batch);
            if (allDone && m_callbacks.progress)
                m_callbacks.progress(batch->end(), m_report.total);
        }
    }

    // Several jobs: while the run's thread settles and reports one batch in list order, the
    // workers read the next ones. A stop drops the batches read ahead: not attempted.
    void convertAlongside(const MessageSources &sources)
    {
        const int size = batchPerJob * m_options.jobs;
        std::unique_ptr<Batch> current = startReading(sources, 0, size);
        std::unique_ptr<Batch> next = startReading(sources, current->end(), size);
        while (!current->messages.empty() && !yieldAndCheckStop()) {
            m_workers.finish(current->reading);
            settleAll(*current);
            writeAll(*current);
            std::unique_ptr<Batch> afterNext = startReading(sources, next->end(), size);
            reportAll(*current);
            if (m_callbacks.progress && !stopNow())
                m_callbacks.progress(current->end(), m_report.total);
            current = std::move(next);
            next = std::move(afterNext);
        }
        m_workers.finish(current->reading);
        m_workers.finish(next->reading);
    }

    // The batch's messages from `first` on (none past the list's end).
    std::unique_ptr<Batch> batchOf(const MessageSources &sources, int first, int size) const
    {
        auto batch = std::make_unique<Batch>();
        batch->first = first;
        const int end = qMin<int>(first + size, int(sources.count()));
        const NamingScheme scheme = m_options.scheme; // read here: the caller may change it between batches
        for (int index = first; index < end; ++index) {
            batch->messages.push_back(RunMessage{sources.at(index), scheme});
            batch->messages.back().index = index;
        }
        return batch;
    }

    // The same, read by the workers from now.
    std::unique_ptr<Batch> startReading(const MessageSources &sources, int first, int size)
    {
        std::unique_ptr<Batch> batch = batchOf(sources, first, size);
        Batch *reading = batch.get();
        batch->reading = m_workers.start(int(batch->messages.size()), [this, reading](int i) {
            m_reader.read(reading->messages[size_t(i)], reading->openSources);
        });
        return batch;
    }

    void settleAll(Batch &batch)
    {
        for (RunMessage &message : batch.messages)
            if (!stopNow())
                settle(message);
    }

    void writeAll(Batch &batch)
    {
        // A plan without --update looks at nothing here: not worth waking the workers for.
        const bool planOnly = m_options.dryRun && !m_options.update;
        if (m_output->writesInListOrder() || planOnly || m_options.jobs <= 1) {
            for (RunMessage &message : batch.messages) {
                if (stopNow())
                    break;
                write(message);
            }
            return;
        }
        m_workers.forEach(int(batch.messages.size()), [&](int i) { write(batch.messages[size_t(i)]); });
    }

    // Refuses a destination that would put outputs among the sources and makes it; meanwhile the
    // run takes in its list (two passes over the list, side by side with several jobs). Nothing
    // is written before the destination is accepted.
    bool prepareDestination(const MessageSources &sources)
    {
        if (m_options.destination.trimmed().isEmpty()) {
            m_report.error = QStringLiteral("no destination folder was given");
            return false;
        }
        std::optional<QString> refusal; // none when a stop came first
        const WorkerThreads::Ticket checking =
            m_workers.start(1, [&](int) { refusal = SourceFolders::refusalOf(sources, m_options, m_workers); });
        forgetOpenFolders(); // folders made or removed since an earlier run are looked up afresh
        takeInTheRun(sources);
        m_workers.finish(checking);
        // A stop may have cut the check short: its answer no longer counts.
        if (!refusal || stopNow()) {
            m_report.stopped = true;
            return false;
        }
        m_report.error = *refusal;
        if (!m_report.error.isEmpty())
            return false;
        if (!m_options.dryRun) {
            FileResult made = EnsureFolderExists(m_destination.path());
            if (made.ok)
                made = m_output->checkDestination();
            if (!made.ok) {
                m_report.error = made.error;
                return false;
            }
        }
        return true;
    }

    // What the run needs to know of all its messages before the first: which full copies of its
    // partial messages are in it (a partial one gives way to its full copy), its source folders (whether
    // its mailboxes need a folder per account, which would meet in one output folder), and what
    // the writer wants to know. Nothing is kept for each message that the run does not need.
    void takeInTheRun(const MessageSources &sources)
    {
        const QSet<QString> fullCopies = fullCopiesOfPartials(sources);
        const bool writerTakesAll = m_output->takesInEachMessage();
        QList<ListedMessage> listed;
        QStringList oneSourcePerFolder;
        for (int index = 0; index < sources.count(); ++index) {
            const QString entry = sources.at(index);
            if (QStringView(entry).trimmed().isEmpty())
                continue;
            const QString absolute = absoluteSourceOf(entry);
            if (fullCopies.contains(absolute))
                m_runSources.insert(absolute);
            if (writerTakesAll)
                listed.append({index, absolute});
            if (m_folderMemory.listed(index, absolute))
                oneSourcePerFolder << absolute;
        }
        m_paths.takeInSources(oneSourcePerFolder);
        m_output->takeIn(listed);
        m_folderMemory.listingDone(oneSourcePerFolder, m_paths);
    }

    // The files that would stand in for the listed partial messages: whole, clean paths.
    static QSet<QString> fullCopiesOfPartials(const MessageSources &sources)
    {
        QSet<QString> fullCopies;
        for (qsizetype index = 0; index < sources.count(); ++index) {
            const QString entry = sources.at(index);
            if (isPartialMessageFile(entry))
                fullCopies.insert(fullMessageFileOf(absoluteSourceOf(entry)));
        }
        return fullCopies;
    }

    // Before the run reports its end, what it wrote is made sure to be on the disk. The window's
    // events go on meanwhile. A stopped run waits no longer than one turn: its caller wants to
    // end at once, and the system finishes writing the data out all the same.
    void flushWrittenFiles()
    {
        if (m_options.dryRun || m_report.converted == 0)
            return;
        QStringList files = m_writtenFiles;
        for (const PlannedOutput &output : std::as_const(m_report.outputs))
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
            m_report.failures.append(MessageNote::about(*failedPath, outcome.reason, outcome.error));
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


    // In list order: a source seen before is not converted again; the writer places the others.
    // Then what the run kept of the folders whose last message this was is dropped.
    void settle(RunMessage &message)
    {
        settleMessage(message);
        m_folderMemory.passed(message.index, m_paths);
    }

    void settleMessage(RunMessage &message)
    {
        if (message.state == RunMessage::State::NoMessage)
            return;
        if (!m_folderMemory.firstSeen(message.absolute)) {
            message.state = RunMessage::State::Repeated;
            message.warnings.clear();
            return;
        }
        if (message.state != RunMessage::State::Named)
            return;
        m_output->place(message);
        if (message.state != RunMessage::State::Failed && !m_destination.holds(message.target))
            message.fail(NoteReason::RefusedInDestination,
                         QStringLiteral("%1 would lie outside the destination %2; nothing was written")
                             .arg(quotedPath(message.target), quotedPath(m_destination.path())));
        if (message.state == RunMessage::State::UpToDate)
            message.file.reset();
    }

    // Writes the output. Touches nothing but `message` and what the writer keeps safe.
    void write(RunMessage &message)
    {
        if (message.state != RunMessage::State::Named)
            return;
        if (m_options.update && m_output->upToDate(message)) {
            message.state = RunMessage::State::UpToDate;
            message.file.reset();
            return;
        }
        // Named from the record, but its output is not there as it was written: read as usual.
        if (message.fromRecord && !m_reader.readEnvelope(message))
            return;
        if (!m_options.dryRun) {
            MessageContent content(message.source, std::move(message.file), message.envelope, message.sourceStamp,
                                   [this] { return keepCopying(); });
            const FileResult written = m_output->write(message, content);
            if (!written.ok && stopNow())
                return; // stopped under way: nothing written, not attempted
            if (!written.ok) {
                message.fail(written);
                return;
            }
            for (const QString &part : content.missingParts())
                message.warn(NoteReason::MissingPart,
                             QStringLiteral("part %1 of the message was not found beside it; it stays empty in %2")
                                 .arg(part, quotedPath(message.target)));
        }
        message.state = RunMessage::State::Written;
    }

    // In list order; then the writer keeps what the batch wrote. True when every message of the
    // batch was through.
    bool reportAll(const Batch &batch)
    {
        bool allDone = true;
        for (const RunMessage &message : batch.messages) {
            allDone = allDone && message.state != RunMessage::State::Named;
            report(message);
        }
        m_output->finishBatch(m_report);
        return allDone;
    }

    // Told to the caller as it comes, kept in the report where the caller or the writer needs it,
    // and kept for the flush where the system flushes file by file.
    void keepOutput(const RunMessage &message)
    {
        const PlannedOutput output{message.entry, message.target};
        if (m_callbacks.outputReported)
            m_callbacks.outputReported(output);
        if (!m_callbacks.outputReported || m_output->writesInListOrder())
            m_report.outputs.append(output);
        else if (!m_options.dryRun && !flushesWholeFileSystems())
            m_writtenFiles.append(message.target);
    }

    void report(const RunMessage &message)
    {
        if (message.state == RunMessage::State::Named)
            return; // a stop came before it was written: not attempted
        m_report.warnings += message.warnings;
        switch (message.state) {
        case RunMessage::State::NoMessage:
            ++m_report.emptyEntries;
            break;
        case RunMessage::State::Repeated:
            ++m_report.repeatedSources;
            break;
        case RunMessage::State::SkippedPartial:
            ++m_report.skippedPartials;
            break;
        case RunMessage::State::Failed:
            m_report.failures.append(message.failure);
            break;
        case RunMessage::State::UpToDate:
            ++m_report.upToDate;
            break;
        case RunMessage::State::Written:
            ++m_report.converted;
            keepOutput(message);
            break;
        case RunMessage::State::Pending:
        case RunMessage::State::Named:
            break;
        }
        m_report.stopped = m_stopped;
        m_output->reported(message, m_report);
    }

    const RunOptions &m_options;
    const RunCallbacks &m_callbacks;
    const Destination m_destination;
    OutputPaths m_paths;
    OutputFolders m_folders;
    std::unique_ptr<MessageOutput> m_output;
    QSet<QString> m_runSources; // the listed files that are full copies of listed partial ones
    MessageReader m_reader{m_paths, *m_output, m_runSources};
    QStringList m_writtenFiles;                  // outputs not kept in the report, where each must be flushed
    FolderMemory m_folderMemory; // the sources seen and names taken, per folder in hand
    mutable std::atomic<bool> m_stopped{false};
    RunReport m_report;
    WorkerThreads m_workers{m_options.jobs, [this] { return stopNow(); }};
};

} // namespace

void RunReport::takeBackOutputsOf(const QString &target)
{
    converted -= int(outputs.removeIf([&](const PlannedOutput &output) { return output.target == target; }));
}

RunReport convertAll(const MessageSources &sources, const RunOptions &options, const RunCallbacks &callbacks)
{
    return Run(options, callbacks).convert(sources);
}

RunReport convertAll(const QStringList &sources, const RunOptions &options, const RunCallbacks &callbacks)
{
    return convertAll(ListedSources(sources), options, callbacks);
}
