#include "list/MessageListModel.h"

#include <QDir>

#include <algorithm>

MessageListModel::MessageListModel(QObject *parent) : QAbstractListModel(parent) {}

int MessageListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return qMax(1, count());
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    if (index.row() >= count())
        return QString(); // the one empty row of the empty list
    // Stored as the core has it; shown the way the user's platform writes paths.
    return QDir::toNativeSeparators(file(index.row()));
}

Qt::ItemFlags MessageListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QString MessageListModel::file(int row) const
{
    const size_t at = size_t(row);
    const qsizetype start = row == 0 ? 0 : m_nameEnds[at - 1];
    const QString &folder = m_folders.at(m_rowFolders[at]);
    QString path;
    path.resize(folder.size() + m_nameEnds[at] - start);
    const auto name = m_names.cbegin() + start;
    std::copy(name, name + (m_nameEnds[at] - start), std::copy(folder.cbegin(), folder.cend(), path.begin()));
    return path;
}

QStringList MessageListModel::files() const
{
    QStringList all;
    all.reserve(count());
    for (int row = 0; row < count(); ++row)
        all.append(file(row));
    return all;
}

void MessageListModel::ClearFileList()
{
    if (count() == 0)
        return;
    if (count() > 1) {
        beginRemoveRows({}, 1, count() - 1);
        m_rowFolders.resize(1);
        m_nameEnds.resize(1);
        endRemoveRows();
    }
    // Memory goes back too: a cleared list of a million rows keeps nothing.
    m_folders = {};
    m_folderNumbers = {};
    m_lastFolder = 0;
    m_rowFolders = {};
    m_nameEnds = {};
    m_names = {};
    const QModelIndex first = index(0);
    Q_EMIT dataChanged(first, first);
    Q_EMIT countChanged(0);
}

void MessageListModel::AddFileToList(const QString &path)
{
    appendFiles(QStringList{path});
}

void MessageListModel::appendFiles(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    qsizetype next = 0;
    if (count() == 0) {
        // The first entry of an empty list goes into the existing empty row 0.
        store(paths.first());
        next = 1;
        const QModelIndex first = index(0);
        Q_EMIT dataChanged(first, first);
    }
    if (next < paths.size()) {
        beginInsertRows({}, count(), count() + int(paths.size() - next) - 1);
        for (; next < paths.size(); ++next)
            store(paths[next]);
        endInsertRows();
    }
    Q_EMIT countChanged(count());
}

void MessageListModel::store(const QString &path)
{
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1; // 0 for a path without a folder
    m_rowFolders.push_back(folderNumber(QStringView(path).first(nameStart)));
    m_names.insert(m_names.end(), path.cbegin() + nameStart, path.cend());
    m_nameEnds.push_back(qsizetype(m_names.size()));
}

quint32 MessageListModel::folderNumber(QStringView folder)
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
