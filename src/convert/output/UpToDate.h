#pragma once

#include "platform/PathHelpers.h"

#include <QString>

// Whether a file an earlier run wrote already holds what this run would write into `target`:
// a regular file (not a link) of exactly `size` bytes whose modification time is `modified`'s,
// to the nanosecond where the system keeps it. Outputs take their source's modification time
// and are written whole or not at all, so a match means an earlier run finished that message.
bool outputMatches(const QString &target, qint64 size, const FileStamp &modified);

// The stamp of a source file (links followed) while it is a regular file of `size` bytes
// modified at `modified`; not known once it differs in any of these.
FileStamp unchangedSourceStamp(const QString &source, qint64 size, const FileStamp &modified);
// The stamp of a source file by its name, links followed, as unchangedSourceStamp compares it.
FileStamp sourceStampOf(const QString &source);
