#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QStringList>

#include <deque>

// The message list the next run converts: one full path per row, in the order appended,
// duplicates kept, nothing normalised. The view always has at least one row: the empty list
// shows as one row with empty text, as the grid of the window has always done.
//
// A list may hold a million rows, so a path is not kept whole: its folder part (up to the last
// '/') is kept once for all the rows in that folder, and the row keeps the folder's number and
// its own file name, in one shared buffer of names. A path comes back exactly as it was added.
// The per-row stores grow in blocks, never copied whole: a growing list costs the window no
// pause however long it gets.
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
    QString file(int row) const;
    // Every entry's path, in list order (made on demand: the list does not keep them whole).
    QStringList files() const;
    int count() const { return int(m_rowFolders.size()); }

Q_SIGNALS:
    void countChanged(int count);

private:
    void store(const QString &path);
    quint32 folderNumber(QStringView folder);

    QStringList m_folders;                   // each folder part once
    QHash<QString, quint32> m_folderNumbers; // folder part -> its place in m_folders
    quint32 m_lastFolder = 0;                // most rows follow one of the same folder
    std::deque<quint32> m_rowFolders;        // per row: its folder's place in m_folders
    std::deque<qsizetype> m_nameEnds;        // per row: where its name ends in m_names
    std::deque<QChar> m_names;               // the rows' file names, one after another
};
