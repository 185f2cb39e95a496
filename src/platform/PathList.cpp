#include "platform/PathList.h"

#include <algorithm>

void PathList::append(const QString &path)
{
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1; // 0 for a path without a folder
    m_folderOf.push_back(folderNumber(QStringView(path).first(nameStart)));
    m_names.insert(m_names.end(), path.cbegin() + nameStart, path.cend());
    m_nameEnds.push_back(qsizetype(m_names.size()));
}

QString PathList::at(qsizetype index) const
{
    const size_t at = size_t(index);
    const qsizetype start = index == 0 ? 0 : m_nameEnds[at - 1];
    const QString &folder = m_folders.at(m_folderOf[at]);
    QString path;
    path.resize(folder.size() + m_nameEnds[at] - start);
    const auto name = m_names.cbegin() + start;
    std::copy(name, name + (m_nameEnds[at] - start), std::copy(folder.cbegin(), folder.cend(), path.begin()));
    return path;
}

void PathList::clear()
{
    m_folders = {};
    m_folderNumbers = {};
    m_lastFolder = 0;
    m_folderOf = {};
    m_nameEnds = {};
    m_names = {};
}

quint32 PathList::folderNumber(QStringView folder)
{
    if (m_lastFolder < quint32(m_folders.size()) && m_folders.at(m_lastFolder) == folder)
        return m_lastFolder;
    const QString text = folder.toString();
    auto known = m_folderNumbers.constFind(text);
    if (known == m_folderNumbers.cend()) {
        known = m_folderNumbers.insert(text, quint32(m_folders.size()));
        m_folders.append(text);
    }
    m_lastFolder = *known;
    return m_lastFolder;
}
