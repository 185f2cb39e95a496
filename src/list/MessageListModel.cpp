#include "list/MessageListModel.h"

#include <QDir>

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
    return QDir::toNativeSeparators(m_files.at(index.row()));
}

Qt::ItemFlags MessageListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void MessageListModel::ClearFileList()
{
    if (m_files.isEmpty())
        return;
    if (m_files.size() > 1) {
        beginRemoveRows({}, 1, count() - 1);
        m_files.resize(1);
        endRemoveRows();
    }
    m_files.clear();
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
    if (m_files.isEmpty()) {
        // The first entry of an empty list goes into the existing empty row 0.
        m_files.append(paths.first());
        next = 1;
        const QModelIndex first = index(0);
        Q_EMIT dataChanged(first, first);
    }
    if (next < paths.size()) {
        beginInsertRows({}, count(), count() + int(paths.size() - next) - 1);
        m_files.append(paths.mid(next));
        endInsertRows();
    }
    Q_EMIT countChanged(count());
}
