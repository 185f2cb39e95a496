#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <deque>

// A list of paths, in the order appended, duplicates kept, each given back exactly as it was
// added. A list may hold a million paths, so a path is not kept whole: its folder part (up to the
// last '/') is kept once for all the paths in that folder, and each entry keeps the folder's
// number and its own file name, in one shared buffer of names (about 12 bytes and the name an
// entry). The stores grow in blocks, never copied whole, so that appending never pauses long.
class PathList
{
public:
    void append(const QString &path);
    QString at(qsizetype index) const;
    qsizetype count() const { return qsizetype(m_folderOf.size()); }
    // Gives the memory back too.
    void clear();

private:
    quint32 folderNumber(QStringView folder);

    QStringList m_folders;                   // each folder part once
    QHash<QString, quint32> m_folderNumbers; // folder part -> its place in m_folders
    quint32 m_lastFolder = 0;                // most paths follow one of the same folder
    std::deque<quint32> m_folderOf;          // per entry: its folder's place in m_folders
    std::deque<qsizetype> m_nameEnds;        // per entry: where its name ends in m_names
    std::deque<QChar> m_names;               // the entries' file names, one after another
};
