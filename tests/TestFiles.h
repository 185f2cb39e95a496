#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// Fixture helpers: tests build their message files byte by byte.
namespace TestFiles {

// Writes `bytes` to `path`, creating the folders above it; fails the test on error.
bool write(const QString &path, const QByteArray &bytes);
QByteArray read(const QString &path);
// Sets the file's modification time.
bool setModified(const QString &path, const QDateTime &time);

// An .emlx file: the padded byte count line, the message, and a property list.
QByteArray propertyList(const QByteArray &dictEntries = "<key>flags</key>\n<integer>8590195713</integer>\n");
QByteArray emlx(const QByteArray &message, const QByteArray &plist = propertyList(), int countAdjust = 0);

// Every file below the folder, hidden ones included (a left temporary file must show), sorted.
QStringList filesBelow(const QString &folder);

// Makes local time UTC+14, so that a date taken in UTC instead of local time shows; false if
// the zone could not be set.
bool useLocalZoneFarFromUtc();

} // namespace TestFiles
