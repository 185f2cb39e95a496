// Platform layer: everything that touches the system (paths, folders, opening files, the atomic
// writer, times, modes, flushing, signals, threads) lives here, so that src/convert and src/list
// include no system header. Which system calls a build uses is decided once, in the generated
// platform/SystemCalls.h. Qt Core only; knows nothing about messages beyond a byte range to copy.
// Paths use Qt's internal '/' separator on every platform.
//
// This header is the ground floor: path splitting, the result and stamp types, and system error
// text. The atomic writer (AtomicWriter.h) builds on it and on the source reader (SourceFile.h).
#pragma once

#include "platform/MessageNote.h"

#include <QString>
#include <QtGlobal>

#include <filesystem>
#include <functional>
#include <system_error>

class QIODevice;

// The text after the last '/' of the path; the whole path when it holds none.
QString GetFileNamePart(const QString &path);
// The text up to and including the last '/'; empty when the path holds none.
QString GetFolderPart(const QString &path);
// The folder path without its root ("C:/", "/", the "//" of a network path),
// so that it can be mirrored below another folder.
QString dropPathRoot(const QString &folder);
// The path for std::filesystem; on Windows in the form that no length limit applies to.
std::filesystem::path toFsPath(const QString &path);
// The folder path ending in '/', so that a path below it starts with it and a name can follow.
QString withTrailingSlash(const QString &folder);

// The path as messages name it: in the platform's separators, between double quotes.
QString quotedPath(const QString &path);

// What the system says of an error number or code, in its own words.
QString systemErrorText(int error);
QString systemErrorText(const std::error_code &code);

struct FileResult {
    bool ok = true;
    NoteReason reason = NoteReason::CannotWrite; // when !ok
    QString error;                               // plain words naming the file and the reason, when !ok
    static FileResult failure(NoteReason reason, QString message) { return {false, reason, std::move(message)}; }
};

// What an output takes over from its source: permissions and modification time.
struct FileStamp {
    bool known = false;
    unsigned permissions = 0; // the mode's permission bits
    qint64 modifiedSeconds = 0;
    qint64 modifiedNanoseconds = 0;
};

// Part of a file to copy: the whole file when length is negative.
struct ByteRange {
    qint64 offset = 0;
    qint64 length = -1;
};

// Asked between chunks of a long copy (every few hundred kilobytes): may let the window's
// events run; false stops the copy, whose temporary file is then removed.
using KeepGoing = std::function<bool()>;

// Creates the folder and every missing folder above it; true when it exists afterwards.
FileResult EnsureFolderExists(const QString &folder);

// Writes all bytes, or returns false with out.errorString() saying why. A full disk or a file
// over its size limit first takes part of a write without an error; writing the rest fails.
bool writeAll(QIODevice &out, const char *data, qint64 size);
