#include "platform/FolderListing.h"

#include "platform/SystemCalls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#if EMLX_UNIX_CALLS
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

// The name as text, each byte that is not part of a valid UTF-8 sequence written as \xNN.
QString escapedName(QByteArrayView raw)
{
    QString text;
    qsizetype at = 0;
    while (at < raw.size()) {
        const uchar lead = uchar(raw[at]);
        const qsizetype length = lead < 0x80         ? 1
                                 : (lead >> 5) == 6  ? 2
                                 : (lead >> 4) == 14 ? 3
                                 : (lead >> 3) == 30 ? 4
                                                     : 0;
        const QByteArrayView sequence = raw.sliced(at, qMin(length, raw.size() - at));
        const QString decoded = length > 0 && sequence.size() == length ? QString::fromUtf8(sequence) : QString();
        if (!decoded.isEmpty() && !decoded.contains(QChar::ReplacementCharacter)) {
            text += decoded;
            at += length;
        } else {
            text += QStringLiteral("\\x") + QStringLiteral("%1").arg(lead, 2, 16, QLatin1Char('0')).toUpper();
            ++at;
        }
    }
    return text;
}

bool isValidUtf8(QByteArrayView raw)
{
    // Most names are ASCII, valid as they are.
    if (std::all_of(raw.begin(), raw.end(), [](char c) { return uchar(c) < 0x80; }))
        return true;
    return QString::fromUtf8(raw).toUtf8() == raw;
}

// Whether a raw name ends in the suffix of the names that matter, in any letter case.
bool hasSuffix(QByteArrayView raw, QByteArrayView suffix)
{
    return raw.toByteArray().toLower().endsWith(suffix.toByteArray().toLower());
}

#if EMLX_UNIX_CALLS
bool isRealFolder(const QByteArray &path)
{
    struct stat status = {};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Files ending in `suffix` anywhere below the folder, by raw names, links not followed.
int countFilesBelow(const QByteArray &top, QByteArrayView suffix)
{
    int count = 0;
    QList<QByteArray> folders{top};
    while (!folders.isEmpty()) {
        const QByteArray folder = folders.takeLast();
        DIR *dir = opendir(folder.constData());
        if (!dir)
            continue;
        while (const dirent *entry = readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray path = folder + '/' + name;
            if (isRealFolder(path))
                folders.append(path);
            else if (hasSuffix(name, suffix))
                ++count;
        }
        closedir(dir);
    }
    return count;
}

// Notes an entry whose name is no valid UTF-8, when it matters: a file ending in `suffix`, or a
// folder with such files below it.
void noteUnusable(UnusableNames &names, const QString &folder, QByteArrayView raw, const QByteArray &path,
                  QByteArrayView suffix)
{
    if (isRealFolder(path)) {
        if (const int count = countFilesBelow(path, suffix); count > 0)
            names.folders.append({folder + escapedName(raw) + u'/', count});
    } else if (hasSuffix(raw, suffix)) {
        names.files.append(folder + escapedName(raw));
    }
}
#endif

// Name order with numbers taken as numbers ("2.emlx" before "10.emlx"), as the mail client
// numbers its messages in the order they came; names alike but for leading zeros or otherwise
// in plain order.
bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool lessInNameOrder(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (!isAsciiDigit(a[i]) || !isAsciiDigit(b[j])) {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
            continue;
        }
        while (i + 1 < a.size() && a[i] == u'0' && isAsciiDigit(a[i + 1]))
            ++i;
        while (j + 1 < b.size() && b[j] == u'0' && isAsciiDigit(b[j + 1]))
            ++j;
        qsizetype endA = i;
        qsizetype endB = j;
        while (endA < a.size() && isAsciiDigit(a[endA]))
            ++endA;
        while (endB < b.size() && isAsciiDigit(b[endB]))
            ++endB;
        if (endA - i != endB - j)
            return endA - i < endB - j;
        const int digits = QStringView(a).sliced(i, endA - i).compare(QStringView(b).sliced(j, endB - j));
        if (digits != 0)
            return digits < 0;
        i = endA;
        j = endB;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
}

void sortInNameOrder(FolderListing &listing)
{
    for (QStringList *names : {&listing.folders, &listing.linkedFolders, &listing.files, &listing.specials})
        std::sort(names->begin(), names->end(), lessInNameOrder);
}

#if EMLX_POSIX_IO
enum class EntryKind { Folder, LinkedFolder, File, Special };

// What the entry `name` of `folder` is, from the type the folder listing gives where it gives
// one, else from the file itself; a link is looked through.
EntryKind kindOf(const QByteArray &folder, const char *name, unsigned char type)
{
    if (type == DT_DIR)
        return EntryKind::Folder;
    if (type == DT_REG)
        return EntryKind::File;
    const QByteArray path = folder + name;
    struct stat status = {};
    if (type == DT_UNKNOWN) {
        if (::lstat(path.constData(), &status) != 0)
            return EntryKind::File; // gone meanwhile: listed, and its conversion tells
        type = S_ISDIR(status.st_mode)   ? DT_DIR
               : S_ISREG(status.st_mode) ? DT_REG
               : S_ISLNK(status.st_mode) ? DT_LNK
                                         : DT_FIFO;
    }
    if (type == DT_DIR)
        return EntryKind::Folder;
    if (type == DT_REG)
        return EntryKind::File;
    if (type != DT_LNK)
        return EntryKind::Special;
    if (::stat(path.constData(), &status) != 0)
        return EntryKind::File; // a link that leads nowhere
    return S_ISDIR(status.st_mode) ? EntryKind::LinkedFolder
           : S_ISREG(status.st_mode) ? EntryKind::File
                                     : EntryKind::Special;
}

// One pass over the folder's raw entries: names that are no valid UTF-8 are told apart there,
// and the kind of most entries comes with the listing, without looking at each file.
std::optional<FolderListing> listRawFolder(const QString &folder, QByteArrayView suffix)
{
    const QByteArray encodedFolder = QFile::encodeName(folder);
    DIR *dir = opendir(encodedFolder.constData());
    if (!dir)
        return std::nullopt;
    FolderListing listing;
    while (const dirent *entry = readdir(dir)) {
        const QByteArrayView raw(entry->d_name);
        if (raw == "." || raw == "..")
            continue;
        if (!isValidUtf8(raw)) {
            noteUnusable(listing.unusable, folder, raw, encodedFolder + raw.toByteArray(), suffix);
            continue;
        }
        const QString name = QFile::decodeName(entry->d_name);
        switch (kindOf(encodedFolder, entry->d_name, entry->d_type)) {
        case EntryKind::Folder:
            listing.folders.append(name);
            break;
        case EntryKind::LinkedFolder:
            listing.linkedFolders.append(name);
            break;
        case EntryKind::File:
            listing.files.append(name);
            break;
        case EntryKind::Special:
            listing.specials.append(name);
            break;
        }
    }
    closedir(dir);
    sortInNameOrder(listing);
    return listing;
}
#else
UnusableNames unusableNamesIn(const QString &folder, QByteArrayView suffix)
{
    UnusableNames names;
#if EMLX_UNIX_CALLS
    const QByteArray encodedFolder = QFile::encodeName(folder);
    DIR *dir = opendir(encodedFolder.constData());
    if (!dir)
        return names;
    while (const dirent *entry = readdir(dir)) {
        const QByteArrayView raw(entry->d_name);
        if (isValidUtf8(raw))
            continue;
        noteUnusable(names, folder, raw, encodedFolder + raw.toByteArray(), suffix);
    }
    closedir(dir);
#else
    Q_UNUSED(folder);
    Q_UNUSED(suffix);
#endif
    return names;
}

// Qt's listing, where the system's own calls are not used.
std::optional<FolderListing> listQtFolder(const QString &folder, QByteArrayView suffix)
{
    const QDir dir(folder);
    if (!dir.isReadable())
        return std::nullopt;
    FolderListing listing;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir())
            (entry.isSymLink() ? listing.linkedFolders : listing.folders).append(entry.fileName());
        else if (!entry.isFile() && entry.exists())
            listing.specials.append(entry.fileName());
        else
            listing.files.append(entry.fileName());
    }
    sortInNameOrder(listing);
    listing.unusable = unusableNamesIn(folder, suffix);
    return listing;
}
#endif

} // namespace

std::optional<FolderListing> listFolder(const QString &folder, QByteArrayView suffix)
{
#if EMLX_POSIX_IO
    return listRawFolder(folder, suffix);
#else
    return listQtFolder(folder, suffix);
#endif
}
