#include "convert/output/EmlFiles.h"

#include "convert/MessageContent.h"
#include "convert/OutputPaths.h"
#include "convert/PartialMessage.h"
#include "convert/output/OutputFolders.h"
#include "convert/output/UpToDate.h"

EmlFiles::EmlFiles(const OutputContext &context) : m_context(context) {}

std::unique_ptr<MessageOutput> EmlFiles::make(const OutputContext &context)
{
    return std::make_unique<EmlFiles>(context);
}

// Partial messages are not recorded: they are always written again.
bool EmlFiles::keepsRecord() const
{
    return m_context.options.update;
}

void EmlFiles::takeIn(const QList<ListedMessage> &)
{
    if (keepsRecord())
        m_record.load(m_context.destination.path());
}

bool EmlFiles::recall(RunMessage &message) const
{
    if (!keepsRecord() || isPartialMessageFile(message.source))
        return false;
    const std::optional<UpdateRecord::Entry> entry = m_record.unchangedEntryOf(message.absolute);
    if (!entry || entry->scheme != message.scheme)
        return false;
    message.envelope.fileSize = entry->sourceSize;
    message.envelope.messageOffset = entry->messageOffset;
    message.envelope.messageLength = entry->messageLength;
    message.sourceStamp = entry->sourceStamp;
    message.name = entry->name;
    message.state = RunMessage::State::Named;
    message.fromRecord = true;
    return true;
}

void EmlFiles::place(RunMessage &message)
{
    bool caseOnly = false;
    message.target = m_context.paths.claim(message.folder, message.name, &caseOnly);
    if (caseOnly)
        message.warn(NoteReason::NamesMeet,
                     QStringLiteral("an earlier message took the name %1 in other letter case; it is written as %2")
                         .arg(quotedPath(message.folder + message.name), quotedPath(message.target)));
    const FileResult made = m_context.folders.makeSure(GetFolderPart(message.target));
    if (!made.ok)
        message.fail(made);
}

// The target has the message's size and the source's modification time. A partial message is
// always written again: the size of the whole message is known only once its parts are encoded
// (as costly as writing it), and its parts' files may have changed since.
bool EmlFiles::upToDate(const RunMessage &message) const
{
    if (isPartialMessageFile(message.source))
        return false;
    const FileStamp stamp = message.sourceStamp.known ? message.sourceStamp : sourceStampOf(message.source);
    return outputMatches(message.target, message.envelope.messageLength, stamp);
}

FileResult EmlFiles::write(RunMessage &message, MessageContent &content)
{
    m_context.folders.clearLeftoversBefore({GetFolderPart(message.target)});
    return content.writeToFile(message.target, {}, m_context.destination.path());
}

// Records what a message became, unless the record told it already.
void EmlFiles::reported(const RunMessage &message, RunReport &)
{
    if (!keepsRecord() || m_context.options.dryRun || message.fromRecord || isPartialMessageFile(message.source) ||
        (message.state != RunMessage::State::Written && message.state != RunMessage::State::UpToDate))
        return;
    // Where the file was opened without its stamp, the stamp is read by the source's name.
    const FileStamp stamp = message.sourceStamp.known ? message.sourceStamp : sourceStampOf(message.absolute);
    m_record.add(message.absolute, {message.envelope.fileSize, stamp, message.scheme, message.name,
                                    message.envelope.messageOffset, message.envelope.messageLength});
}

void EmlFiles::finishBatch(RunReport &report)
{
    tellOf(m_record.saveWhenDue(), report);
}

void EmlFiles::finish(RunReport &report)
{
    tellOf(m_record.save(), report);
}

void EmlFiles::tellOf(const FileResult &saved, RunReport &report) const
{
    if (!saved.ok)
        report.warnings.append(
            MessageNote::about(UpdateRecord::pathIn(m_context.destination.path()), saved.reason, saved.error));
}
