#include "convert/MessageReader.h"

#include "convert/EmlxEnvelope.h"
#include "convert/HeaderReader.h"
#include "convert/OutputNaming.h"
#include "convert/OutputPaths.h"
#include "convert/PartialMessage.h"
#include "convert/SourceFolders.h"
#include "convert/output/MessageOutput.h"
#include "platform/PathHelpers.h"
#include "platform/SourceFile.h"

#include <QDir>
#include <QFileInfo>

void MessageReader::read(RunMessage &message, std::atomic<int> &openInBatch) const
{
    if (QStringView(message.entry).trimmed().isEmpty()) {
        message.state = RunMessage::State::NoMessage;
        return;
    }
    message.source = QDir::fromNativeSeparators(message.entry);
    message.absolute = absoluteSourceOf(message.entry);
    if (isPartialMessageFile(message.source) && !takeFullCopyOfPartial(message))
        return;
    if (m_output.recall(message)) {
        placeInFolder(message);
        return;
    }
    if (!readEnvelope(message))
        return;
    placeInFolder(message);
    name(message);
    // A partial message is put together from its own files; others stay open for the copy,
    // up to a limit per batch.
    bool keepOpen = message.state == RunMessage::State::Named && !isPartialMessageFile(message.source);
    if (keepOpen && ++openInBatch > openSourcesLimit)
        keepOpen = false;
    if (!keepOpen)
        message.file.reset();
}

// Opens the source and finds the message in it.
bool MessageReader::readEnvelope(RunMessage &message) const
{
    message.file = std::make_unique<SourceFile>(message.source);
    const EmlxEnvelope::Result read = EmlxEnvelope::read(*message.file);
    if (!read.envelope) {
        message.file.reset();
        message.fail(read.reason, read.error);
        return false;
    }
    message.envelope = *read.envelope;
    message.sourceStamp = message.file->stamp();
    if (!message.envelope.warning.isEmpty())
        message.warn(NoteReason::DoubtfulEnvelope, message.envelope.warning);
    if (!message.envelope.contentWarning.isEmpty())
        message.warn(NoteReason::NotMail, message.envelope.contentWarning);
    return true;
}

void MessageReader::placeInFolder(RunMessage &message) const
{
    const OutputFolder folder = m_paths.folderFor(message.absolute);
    message.folder = folder.path;
    if (!folder.warning.isEmpty())
        message.warn(folder.reason, folder.warning);
}

// A partial message gives way to its full copy: skipped when the full copy is in the run
// too, else the full copy is converted in its place. False when the message is skipped.
bool MessageReader::takeFullCopyOfPartial(RunMessage &message) const
{
    const QString full = fullMessageFileOf(message.absolute);
    if (m_fullCopiesInRun.contains(full)) {
        message.state = RunMessage::State::SkippedPartial;
        message.warn(NoteReason::FullCopyInstead,
                     QStringLiteral("skipped: its full copy %1 is converted in this run").arg(quotedPath(full)));
        return false;
    }
    if (QFileInfo(full).isFile()) {
        message.warn(
            NoteReason::FullCopyInstead,
            QStringLiteral("converted from its full copy %1, which holds the whole message").arg(quotedPath(full)));
        message.source = full;
        message.absolute = full;
    }
    return true;
}

// The output name and, for the formats that need them, the mailbox facts: the header block is
// read once for both, and only when one of them needs it.
void MessageReader::name(RunMessage &message) const
{
    const QString ownName = OutputPaths::ownName(message.absolute);
    const bool namedByHeaders = schemeReadsHeaders(message.scheme);
    message.state = RunMessage::State::Named;
    message.name = CleanOutputName(ownName);
    if (!namedByHeaders && !m_output.needsMailboxFacts())
        return;
    HeaderReader reader;
    if (!reader.LoadMessageFile(*message.file, message.envelope)) {
        message.fail(NoteReason::CannotRead, reader.errorString());
        return;
    }
    if (namedByHeaders) {
        for (const QString &warning : reader.warnings())
            message.warn(NoteReason::LongHeaders, warning);
        const QString name = CleanOutputName(ComposeOutputName(ownName, message.scheme, reader));
        if (!name.isEmpty())
            message.name = name;
    }
    if (m_output.needsMailboxFacts())
        readMailboxFacts(message, reader);
}

void MessageReader::readMailboxFacts(RunMessage &message, HeaderReader &reader) const
{
    const PropertyListDates plist = readPropertyListDates(*message.file, message.envelope);
    MailboxFacts &facts = message.facts;
    facts.flags = plist.flags;
    facts.date = reader.GetDate();
    facts.received = plist.received.isValid() ? plist.received : facts.date;
    facts.returnPath = reader.returnPath();
    facts.from = reader.GetFrom();
}
