#include "convert/MessageSources.h"

#include <algorithm>

void CompactSources::append(const QString &path)
{
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    const QStringView folder = QStringView(path).left(nameStart);
    if (m_folders.empty() || m_folders.back().path != folder)
        m_folders.push_back({folder.toString(), count()});
    m_nameStarts.push_back(m_names.size());
    m_names.append(QStringView(path).mid(nameStart));
}

QString CompactSources::at(qsizetype index) const
{
    const auto after = std::upper_bound(m_folders.cbegin(), m_folders.cend(), index,
                                        [](qsizetype wanted, const Folder &folder) { return wanted < folder.first; });
    const qsizetype start = m_nameStarts[size_t(index)];
    const qsizetype end = index + 1 < count() ? m_nameStarts[size_t(index) + 1] : m_names.size();
    const QString &folder = (after - 1)->path;
    QString path;
    path.reserve(folder.size() + end - start);
    path.append(folder).append(QStringView(m_names).mid(start, end - start));
    return path;
}
