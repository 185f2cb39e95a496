#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <csignal>
#include <filesystem>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

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

bool hardLink(const QString &existing, const QString &link)
{
    std::error_code error;
    std::filesystem::create_hard_link(existing.toStdU16String(), link.toStdU16String(), error);
    return !error;
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
#ifdef Q_OS_WIN
    // Windows' own zone comes from the system (under Wine, from the TZ its server started with:
    // tests/CMakeLists.txt); the C runtime's from TZ in its own form.
    qputenv("TZ", "LNT-14");
    _tzset();
    if (QTimeZone::systemTimeZone().offsetFromUtc(QDateTime::fromSecsSinceEpoch(1312632000)) != 14 * 3600)
        return false;
#else
    qputenv("TZ", "Pacific/Kiritimati");
    tzset();
#endif
    return QDateTime::fromSecsSinceEpoch(1312632000).offsetFromUtc() == 14 * 3600;
}

#ifdef Q_OS_WIN
namespace {
// Windows counts file times in 100 ns steps from 1601.
constexpr qint64 windowsEpochSeconds = 11644473600;

HANDLE openForTimes(const QString &path, DWORD access)
{
    return CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr); // folders too
}
} // namespace

bool setModifiedTime(const QString &path, FileTime time)
{
    const quint64 steps = quint64(time.seconds + windowsEpochSeconds) * 10000000 + quint64(time.nanoseconds / 100);
    const FILETIME modified{DWORD(steps), DWORD(steps >> 32)};
    const HANDLE handle = openForTimes(path, FILE_WRITE_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool set = SetFileTime(handle, nullptr, nullptr, &modified);
    CloseHandle(handle);
    return set;
}

FileTime modifiedTime(const QString &path)
{
    FILETIME modified{};
    const HANDLE handle = openForTimes(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    GetFileTime(handle, nullptr, nullptr, &modified);
    CloseHandle(handle);
    const qint64 steps = qint64((quint64(modified.dwHighDateTime) << 32) | modified.dwLowDateTime);
    return {steps / 10000000 - windowsEpochSeconds, steps % 10000000 * 100};
}

FileTime asKept(FileTime time)
{
    return {time.seconds, time.nanoseconds / 100 * 100};
}

bool makeNamedPipe(const QString &)
{
    return false;
}

const char *whyPermissionsRefuseNothing()
{
    return "Windows files have no permission bits";
}

#else
bool setModifiedTime(const QString &path, FileTime time)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(time.seconds), long(time.nanoseconds)}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

FileTime modifiedTime(const QString &path)
{
    struct stat status {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return {status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
}

FileTime asKept(FileTime time)
{
    return time;
}

bool makeNamedPipe(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

const char *whyPermissionsRefuseNothing()
{
    return ::geteuid() == 0 ? "runs as root: permission bits refuse nothing" : nullptr;
}

bool askToStop(qint64 processId, int signal)
{
    return ::kill(pid_t(processId), signal) == 0;
}
#endif

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
