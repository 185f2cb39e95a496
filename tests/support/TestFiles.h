#pragma once

#include "platform/SystemCalls.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// Fixture helpers: tests build their message files byte by byte.
namespace TestFiles {

// Writes `bytes` to `path`, creating the folders above it.
bool write(const QString &path, const QByteArray &bytes);
QByteArray read(const QString &path);
bool setModified(const QString &path, const QDateTime &time);

// A message with the headers given and a short body; `mail` makes one of Ann's on 6 August 2011.
QByteArray messageWith(const QByteArray &headers);
QByteArray mail(const QByteArray &subject);

// An .emlx file: the padded byte count line, the message, and a property list.
QByteArray propertyList(const QByteArray &dictEntries = "<key>flags</key>\n<integer>8590195713</integer>\n");
QByteArray emlx(const QByteArray &message, const QByteArray &plist = propertyList(), int countAdjust = 0);

// Every file below the folder, hidden ones included (a left temporary file must show), sorted.
QStringList filesBelow(const QString &folder);

// Makes local time UTC+14, so that a date taken in UTC instead of local time shows; false if
// the zone could not be set.
bool useLocalZoneFarFromUtc();

// How a file that is not a regular one is called: by its kind, or only "a special file" in the
// portable build, which looks at files through Qt alone, as other systems do.
inline QString specialKind(const QString &kind)
{
#if !EMLX_POSIX_IO
    Q_UNUSED(kind);
    return QStringLiteral("a special file");
#else
    return kind;
#endif
}

// A file whose name is not valid UTF-8, which Qt can neither make nor remove; gone with the object.
struct RawNamedFile {
    QByteArray path;
    RawNamedFile(const QString &folder, const QByteArray &rawName);
    ~RawNamedFile();
    bool made = false;
};

} // namespace TestFiles
