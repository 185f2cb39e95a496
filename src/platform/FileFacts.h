#pragma once

#include "platform/PathHelpers.h"
#include "platform/SystemCalls.h"

#include <QString>

// What the system says of one file, looked at by its path: whether it is a regular file, its
// size and its stamp (to the nanosecond where the system keeps it, else to the millisecond).
struct FileFacts {
    bool regularFile = false;
    qint64 size = 0;
    FileStamp stamp;
};

enum class Links {
    Followed,    // the file a link leads to (a source)
    NotFollowed, // the entry itself (an output of ours is never a link)
};

// The facts of a regular file; nothing known of anything else. A thread that looks at files of one
// folder after another keeps that folder open and looks each file up by its own name (Linux).
FileFacts factsOf(const QString &path, Links links);

#if EMLX_UNIX_CALLS
struct stat;
// The stamp of a file as the system describes it.
FileStamp fileStampOf(const struct stat &status);
#endif
