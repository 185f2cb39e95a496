#pragma once

#include "platform/PathList.h"

#include <QAbstractListModel>
#include <QStringList>

// The message list the next run converts: one full path per row, in the order appended,
// duplicates kept, nothing normalised. The view always has at least one row: the empty list
// shows as one row with empty text, as the grid of the window has always done.
// The paths are kept in a PathList: a million rows cost tens of megabytes, and a growing list
// costs the window no pause however long it gets.
class MessageListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit MessageListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    void ClearFileList();
    void AddFileToList(const QString &path);
    // Appends all paths with one insertion, so a large scan costs one view update.
    void appendFiles(const QStringList &paths);

    // The path of one entry, as it was added.
    QString file(int row) const { return m_paths.at(row); }
    // Every entry's path, in list order (made on demand: the list does not keep them whole).
    QStringList files() const;
    int count() const { return int(m_paths.count()); }

Q_SIGNALS:
    void countChanged(int count);

private:
    PathList m_paths;
};
