#pragma once

#include "platform/DestinationFolder.h"
#include "platform/PathHelpers.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

#include <mutex>

// The folders a run writes into: each a real folder below the destination (no link on the way),
// made when missing (not in a dry run), looked at once, and cleared of what an interrupted earlier
// run left in it before the run writes there.
class OutputFolders
{
public:
    OutputFolders(const Destination &destination, bool dryRun, bool update);

    enum class State {
        Known, // made sure of earlier in this run
        Made,  // made now
        Found, // there already, from before the run
    };
    // Makes sure of `folder`; a failure says why nothing may be written there.
    FileResult makeSure(const QString &folder, State *state = nullptr);
    // Before a message is written into `folders`. With --update most folders may get nothing new:
    // they are cleared only here, once, before the first message written into them; otherwise as
    // soon as they are found. Safe on the worker threads.
    void clearLeftoversBefore(const QStringList &folders) const;

    // One folder made sure of for each file system: where a flush must go.
    QStringList oneFolderPerFileSystem() const { return m_real.oneFolderPerFileSystem(); }

private:
    RealFoldersBelow m_real;
    const bool m_dryRun;
    const bool m_update;
    const QDateTime m_started = QDateTime::currentDateTime();
    QSet<QString> m_known;
    mutable QSet<QString> m_leftoversToClear;
    mutable std::mutex m_lock;
};
