#pragma once

#include <QAbstractListModel>
#include <QStringList>

// The message list the next run converts: one full path per row, in the order appended,
// duplicates kept, nothing normalised. The view always has at least one row: the empty list
// shows as one row with empty text, as the grid of the window has always done.
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

    const QStringList &files() const { return m_files; }
    int count() const { return int(m_files.size()); }

Q_SIGNALS:
    void countChanged(int count);

private:
    QStringList m_files;
};
