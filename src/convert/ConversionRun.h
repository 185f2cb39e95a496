// Conversion layer: the .emlx envelope, the header reader (GMime only inside Mime.cpp), naming,
// partial messages, where a message goes (OutputPaths), the bytes it becomes (MessageContent), the
// writers of the output formats (output/) and the run that drives them all. Qt Core only; builds on
// src/platform and includes no system header.
#pragma once

#include "convert/MessageSources.h"
#include "convert/OutputFolder.h"
#include "convert/OutputNaming.h"
#include "convert/output/OutputFormats.h"
#include "platform/MessageNote.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct RunOptions {
    QString destination; // created when missing
    // Read afresh for each message (with more than one job, each batch): a caller on the run's
    // own thread may change it between steps, as the window does when its option changes.
    NamingScheme scheme = NamingScheme::Original;
    bool dryRun = false; // plan every output, write nothing
    OutputLayout layout = OutputLayout::Mirror;
    // Messages read and written at once. The outputs, their names and the report are the same
    // for any number; with more than one, callbacks come after each batch, not each message.
    int jobs = 1;
    // A message whose output an earlier run already wrote is left as it is (see RunReport::upToDate).
    bool update = false;
    // What each mailbox's folder gets: loose .eml files, one mbox file named after the folder, or
    // a Maildir in it. The message bytes are the same in each; mbox quotes "From " lines.
    OutputFormat format = OutputFormat::Eml;
    bool mboxStatus = false; // mbox messages get Status/X-Status headers from the mail client's flags
};

struct PlannedOutput {
    QString source;
    QString target; // the .eml file, the mbox file that holds the message, or its Maildir file
};

// How the run talks to whoever started it. Every member may be empty.
struct RunCallbacks {
    std::function<void(int index)> messageStarted;     // before the message at `index` is converted
    std::function<void(int done, int total)> progress; // after each message, written or not
    // Between steps and, with one job, between chunks of a long copy: the window lets its events run.
    std::function<void()> yield;
    // Checked after each yield, before each message and between chunks of a copy (with more
    // than one job also on the worker threads). True ends the run within one message per job:
    // a message whose copy was under way leaves no output and counts as not attempted.
    std::function<bool()> stopRequested;
    // After each message written (or, in a dry run, planned), in list order. When set, the report
    // keeps no list of its outputs (RunReport::outputs stays empty unless the format may take
    // outputs back, as mailbox files do): a run of a million messages then keeps no million paths.
    std::function<void(const PlannedOutput &output)> outputReported;
};

struct RunReport {
    int total = 0;           // entries handed to the run, empty ones included
    int converted = 0;       // messages written (or, in a dry run, planned)
    int emptyEntries = 0;    // entries that were blank: no message
    int repeatedSources = 0; // a source listed again: written once only
    int skippedPartials = 0; // partial copies whose full copy is converted in the same run
    int upToDate = 0;        // with RunOptions::update: outputs an earlier run wrote, left as they are
    QString error;           // set when the run could not start at all
    QList<MessageNote> failures;
    QList<MessageNote> warnings;
    QList<PlannedOutput> outputs; // every message written or planned, in run order
    bool stopped = false;         // ended by a stop request: the messages not reported were not attempted

    bool succeeded() const { return error.isEmpty() && failures.isEmpty() && !stopped; }
    // Takes back the messages reported written to `target`: a mailbox that was not put in place.
    void takeBackOutputsOf(const QString &target);
};

// Converts every listed message file into an .eml below options.destination, in a folder
// tree that mirrors the source's own folders. A partial message gets its attachments back.
// A message that cannot be written is reported with its reason and the run goes on. Nothing
// is written outside the destination or through a link below it; what was written is flushed
// to the disk before the run returns.
RunReport convertAll(const MessageSources &sources, const RunOptions &options, const RunCallbacks &callbacks = {});
RunReport convertAll(const QStringList &sources, const RunOptions &options, const RunCallbacks &callbacks = {});
