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
    return QDir::toNativeSeparators(file(index.row()));
}

Qt::ItemFlags MessageListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
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
    // Rows 1 and on go first; row 0 stays as the empty list's one empty row, emptied after.
    if (count() > 1) {
        const QString first = file(0);
        beginRemoveRows({}, 1, count() - 1);
        m_paths.clear();
        m_paths.append(first);
        endRemoveRows();
    }
    m_paths.clear(); // memory goes back too: a cleared list of a million rows keeps nothing
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
        m_paths.append(paths.first());
        next = 1;
        const QModelIndex first = index(0);
        Q_EMIT dataChanged(first, first);
    }
    if (next < paths.size()) {
        beginInsertRows({}, count(), count() + int(paths.size() - next) - 1);
        for (; next < paths.size(); ++next)
            m_paths.append(paths[next]);
        endInsertRows();
    }
    Q_EMIT countChanged(count());
}
