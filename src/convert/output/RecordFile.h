#pragma once

#include "platform/PathHelpers.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

// A record that --update runs keep in the destination: a first line that names its kind, then one
// line per entry. It lies where anything may have been put, so it is read line by line in
// bounded memory (a line longer than `longestLine` is skipped, a last line without its line
// break is dropped) and written whole under a temporary name that is renamed over it, never
// into the file in place: a hard-linked outside file keeps its content.
namespace RecordFile {

// Calls `take` for each line after `firstLine`, without its line break. False when there is no
// record of that kind at `path` (none, a link, not a regular file, another first line).
bool read(const QString &path, const QByteArray &firstLine, qsizetype longestLine,
          const std::function<void(QByteArrayView line)> &take);

// Puts `firstLine` and `lines` in place at `path` atomically. A link or anything but a regular
// file there is refused, not replaced.
FileResult write(const QString &path, const QByteArray &firstLine, const QByteArray &lines);

// Whether a path read from a record could name a file of this system: not longer than a path
// can be.
bool fitsInAPath(const QString &path);

} // namespace RecordFile
