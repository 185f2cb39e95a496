#pragma once

#include "convert/RunMessage.h"

#include <QSet>
#include <QString>

#include <atomic>

class HeaderReader;
class MessageOutput;
class OutputPaths;

// The read step of a run, for one message on any of the run's threads: finds the message in its
// file (or its partial copy's full one), the folder it goes to, its name and the facts its format
// needs. Touches nothing but the message and its batch's count of the sources it keeps open.
class MessageReader
{
public:
    // `fullCopiesInRun`: the listed files that are full copies of listed partial messages.
    MessageReader(const OutputPaths &paths, MessageOutput &output, const QSet<QString> &fullCopiesInRun)
        : m_paths(paths), m_output(output), m_fullCopiesInRun(fullCopiesInRun)
    {}

    // Reads the envelope and the headers the name and the format need. `openInBatch` counts the
    // sources of the message's batch kept open for their writing.
    void read(RunMessage &message, std::atomic<int> &openInBatch) const;
    // Opens the source and finds the message in it; false (the message failed) when there is none.
    bool readEnvelope(RunMessage &message) const;

private:
    // Sources of a batch kept open from their reading to their writing; beyond this, a source is
    // opened again to be written, so that many jobs, with batches read ahead, never run out of file
    // handles.
    static constexpr int openSourcesLimit = 256;

    void placeInFolder(RunMessage &message) const;
    bool takeFullCopyOfPartial(RunMessage &message) const;
    void name(RunMessage &message) const;
    void readMailboxFacts(RunMessage &message, HeaderReader &reader) const;

    const OutputPaths &m_paths;
    MessageOutput &m_output;
    const QSet<QString> &m_fullCopiesInRun;
};
