#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace TestFiles {

bool write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

QByteArray messageWith(const QByteArray &headers)
{
    return headers + "\n\nThe body.\n";
}

QByteArray mail(const QByteArray &subject)
{
    return messageWith("From: Ann <ann@example.com>\nSubject: " + subject + "\nDate: Sat, 6 Aug 2011 10:00:00 +0200");
}

QByteArray propertyList(const QByteArray &dictEntries)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" +
           dictEntries + "</dict>\n</plist>\n";
}

QByteArray emlx(const QByteArray &message, const QByteArray &plist, int countAdjust)
{
    return QByteArray::number(message.size() + countAdjust).leftJustified(10, ' ') + '\n' + message + plist;
}

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

bool useLocalZoneFarFromUtc()
{
    qputenv("TZ", "Pacific/Kiritimati");
    tzset();
    return QDateTime::fromSecsSinceEpoch(1312632000).offsetFromUtc() == 14 * 3600;
}

RawNamedFile::RawNamedFile(const QString &folder, const QByteArray &rawName)
    : path(QFile::encodeName(QDir(folder).absolutePath()) + '/' + rawName)
{
    QDir().mkpath(folder);
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
    made = fd >= 0 && ::close(fd) == 0;
}

RawNamedFile::~RawNamedFile()
{
    ::unlink(path.constData());
}

} // namespace TestFiles
