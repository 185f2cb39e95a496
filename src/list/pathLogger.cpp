#include "pathLogger.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString EnsureTrailingSlash(const QString &path)
{
    return path.endsWith(u'/') ? path : path + u'/';
}

QString key(int number)
{
    return u'K' + QString::number(number);
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
    yield();
    if (!writable(m_pathNames).add(QStringLiteral("K0"), EnsureTrailingSlash(root)))
        return false;
    for (int position = 1; position <= folderCount; ++position) {
        if (!logFolder(position, &folderCount))
            return false;
        yield();
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
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                          QDir::Name | QDir::DirsFirst);
    for (const QFileInfo &entry : entries) {
        if (!entry.isDir() || entry.isSymLink())
            continue;
        ++*folderCount;
        if (!m_pathNames->add(key(*folderCount), folder + entry.fileName() + u'/'))
            return false;
        yield();
    }
    yield();
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
        yield();
    }
    return true;
}
