#include "pathLogger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <dirent.h>
#endif

namespace {

QString EnsureTrailingSlash(const QString &path)
{
    return path.endsWith(u'/') ? path : path + u'/';
}

QString key(int number)
{
    return u'K' + QString::number(number);
}

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

// Names in the folder that are no valid UTF-8: Qt cannot name these files, so its listings
// leave them out. Only names that look like message files matter here.
QStringList unusableNamesIn(const QString &folder)
{
    QStringList names;
#ifdef Q_OS_UNIX
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = readdir(dir)) {
        const QByteArrayView raw(entry->d_name);
        if (!raw.toByteArray().toLower().endsWith(".emlx"))
            continue;
        const QString name = escapedName(raw);
        if (name.toUtf8() != raw)
            names.append(folder + name);
    }
    closedir(dir);
#else
    Q_UNUSED(folder);
#endif
    return names;
}

} // namespace

void pathLogger::dropLists()
{
    m_fileNames.reset();
    m_pathPointers.reset();
    m_pathNames.reset();
    m_fullFileNames.reset();
}

void pathLogger::PathLogInit()
{
    fullFileNamesOnly = true;
    yield();
    dropLists();
    m_unreadable.clear();
    m_unusable.clear();
    m_stopped = false;
}

void pathLogger::Terminate()
{
    yield();
    dropLists();
}

bool pathLogger::LogPath(const QString &path)
{
    const QString root = QDir::fromNativeSeparators(path);
    if (root.isEmpty() || !QFileInfo(root).isDir())
        return false;
    int folderCount = 1;
    m_counter = 1;
    if (!yield())
        return false;
    if (!writable(m_pathNames).add(QStringLiteral("K0"), EnsureTrailingSlash(root)))
        return false;
    for (int position = 1; position <= folderCount; ++position) {
        if (!logFolder(position, &folderCount) || !yield())
            return false;
    }
    return true;
}

bool pathLogger::logFolder(int position, int *folderCount)
{
    const QString folder = m_pathNames->item(position);
    QDir dir(folder);
    if (!dir.isReadable()) {
        m_unreadable.append(folder);
        return true;
    }
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name | QDir::DirsFirst);
    for (const QFileInfo &entry : entries) {
        if (!entry.isDir() || entry.isSymLink())
            continue;
        ++*folderCount;
        if (!m_pathNames->add(key(*folderCount), folder + entry.fileName() + u'/') || !yield())
            return false;
    }
    m_unusable += unusableNamesIn(folder);
    if (!yield())
        return false;
    for (const QFileInfo &entry : entries) {
        if (entry.isDir())
            continue;
        const QString keyText = key(m_counter);
        if (!writable(m_fullFileNames).add(keyText, folder + entry.fileName()))
            return false;
        if (!fullFileNamesOnly) {
            writable(m_fileNames).add(keyText, entry.fileName());
            writable(m_pathPointers).add(keyText, position);
        }
        ++m_counter;
        if (!yield())
            return false;
    }
    return true;
}
