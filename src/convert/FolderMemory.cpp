#include "convert/FolderMemory.h"

#include "convert/OutputPaths.h"

#include <algorithm>

namespace {

QStringView folderOf(const QString &absolute)
{
    return QStringView(absolute).left(absolute.lastIndexOf(u'/') + 1);
}

} // namespace

bool FolderMemory::listed(int index, const QString &absolute)
{
    const QStringView folder = folderOf(absolute);
    if (folder == m_lastFolder) {
        m_lastInFolder = index;
        return false;
    }
    if (m_lastInFolder >= 0)
        m_lastEntryIn[m_lastFolder] = m_lastInFolder;
    m_lastFolder = folder.toString();
    m_lastInFolder = index;
    if (m_lastEntryIn.contains(m_lastFolder))
        return false;
    m_lastEntryIn.insert(m_lastFolder, index);
    return true;
}

void FolderMemory::listingDone(const QStringList &oneSourcePerFolder, const OutputPaths &paths)
{
    if (m_lastInFolder >= 0)
        m_lastEntryIn[m_lastFolder] = m_lastInFolder;
    QHash<QString, int> lastOfOutput; // by the folder's key in OutputPaths
    for (const QString &source : oneSourcePerFolder) {
        const QString folder = folderOf(source).toString();
        const int last = m_lastEntryIn.value(folder);
        m_folderEnds.push_back({last, folder, false});
        int &output = lastOfOutput[OutputPaths::keyOf(paths.folderFor(source).path)];
        output = qMax(output, last);
    }
    for (auto it = lastOfOutput.cbegin(); it != lastOfOutput.cend(); ++it)
        m_folderEnds.push_back({it.value(), it.key(), true});
    std::sort(m_folderEnds.begin(), m_folderEnds.end(),
              [](const FolderEnd &a, const FolderEnd &b) { return a.lastEntry < b.lastEntry; });
    m_lastEntryIn = {};
}

bool FolderMemory::firstSeen(const QString &absolute)
{
    const QStringView folder = folderOf(absolute);
    if (!m_seenInFolder || folder != m_seenFolder) {
        m_seenFolder = folder.toString();
        m_seenInFolder = &m_seenSources[m_seenFolder];
    }
    const qsizetype before = m_seenInFolder->size();
    m_seenInFolder->insert(absolute.mid(folder.size()));
    return m_seenInFolder->size() > before;
}

void FolderMemory::passed(int index, OutputPaths &paths)
{
    for (; m_nextEnd < m_folderEnds.size() && m_folderEnds[m_nextEnd].lastEntry <= index; ++m_nextEnd) {
        const FolderEnd &end = m_folderEnds[m_nextEnd];
        if (end.output) {
            paths.forgetNamesIn(end.folder);
        } else {
            m_seenSources.remove(end.folder);
            m_seenInFolder = nullptr; // a removal may move the hash's other entries
        }
    }
}
