// Output formats: what a run writes for its messages, one writer per format, chosen once where the
// run starts (outputFormats, OutputFormats.h). The run knows the pipeline and asks the writer
// everything about the format: where a message goes, whether an earlier run wrote it already, and
// how its bytes are written. Writers build on src/convert (MessageContent, OutputPaths) and on the
// platform floor; they know nothing of the window or the command line.
//
// To add a format: a class here that implements MessageOutput, a value in OutputFormat and a row in
// outputFormats (its command-line name, its help line and its factory). Nothing else changes.
#pragma once

#include "convert/ConversionRun.h"
#include "convert/RunMessage.h"
#include "platform/DestinationFolder.h"

#include <QList>
#include <QString>

class MessageContent;
class OutputFolders;
class OutputPaths;

// What every writer is given by the run: its options and the places it shares with the run.
struct OutputContext {
    const RunOptions &options;
    const Destination &destination;
    OutputPaths &paths;
    OutputFolders &folders;
};

// A listed message as the run takes it in before the first is read: its place in the list and
// its source as a whole, clean path (the folder its layout gives it: OutputPaths::folderFor).
struct ListedMessage {
    int index = -1;
    QString absolute;
};

class MessageOutput
{
public:
    virtual ~MessageOutput() = default;

    // Whether the read step must take the mail client's flags and dates and the sender
    // (RunMessage::facts).
    virtual bool needsMailboxFacts() const { return false; }
    // Once the destination exists, before anything is written (not in a dry run): a failure
    // refuses the whole run, with its reason, instead of every message failing alike.
    virtual FileResult checkDestination() { return {}; }
    // Whether a folder below the destination ("Box/cur/") is one that the format keeps for itself,
    // so that no mailbox may take it (OutputPaths numbers one that would).
    virtual bool reservesFolder(const QString &) const { return false; }
    // Before the first message: every listed message, in list order (none where the writer does
    // not take them in: a run of a million messages keeps no list of them for it).
    virtual bool takesInEachMessage() const { return true; }
    virtual void takeIn(const QList<ListedMessage> &) {}
    // The read step, on any thread: names a message that an earlier run already wrote without
    // opening its source, where a record says so; true when it did.
    virtual bool recall(RunMessage &) const { return false; }
    // After takeIn: the folders (and files) that messages of the layout's `folder` go into. No
    // source may lie directly in one of them.
    virtual QStringList landingPlaces(const QString &folder) const { return {folder}; }
    // In list order: the message's target, with the folders it needs made sure of (OutputFolders).
    // Fails the message where it cannot go; may find that an earlier run's output holds it already.
    virtual void place(RunMessage &message) = 0;
    // On any thread, with --update: whether an earlier run's output holds the message already.
    virtual bool upToDate(const RunMessage &) const { return false; }
    // True when one file takes many messages, one after the other: write() is then called in list
    // order on the run's own thread; otherwise on any thread, for many messages at once.
    virtual bool writesInListOrder() const { return false; }
    // Writes the message's content to its target; on failure nothing of it is left.
    virtual FileResult write(RunMessage &message, MessageContent &content) = 0;
    // In list order, once the run has reported the message (to report, the writer may take outputs
    // back or add notes: a mailbox that could not be put in place).
    virtual void reported(const RunMessage &, RunReport &) {}
    // After each batch, and at the end of the run (after a stop too): what must be kept or put in
    // place now, and what a stop leaves unfinished removed and taken back.
    virtual void finishBatch(RunReport &) {}
    virtual void finish(RunReport &) {}
};
