#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

class OutputPaths;

// What a run keeps of each folder while it goes through its list: the names of the sources seen
// there (a source listed again is written once) and, in OutputPaths, the names taken in each
// output folder. Each goes once the run is past the folder's last entry, so that what a run
// keeps follows its folders in hand, not the whole store.
class FolderMemory
{
public:
    // Before the run, each entry in list order (its whole, clean path): true for the first entry
    // of a folder not listed before.
    bool listed(int index, const QString &absolute);
    // Once every entry is listed and `paths` has taken in one source of each folder (in the order
    // `listed` said true): where each output folder has its last entry too.
    void listingDone(const QStringList &oneSourcePerFolder, const OutputPaths &paths);

    // In list order: true the first time the run meets the source.
    bool firstSeen(const QString &absolute);
    // After the entry at `index` is settled: forgets what was kept of the folders it ended.
    void passed(int index, OutputPaths &paths);

private:
    // Listing: source folder -> its last entry so far, and the folder of the entries in hand.
    QHash<QString, int> m_lastEntryIn;
    QString m_lastFolder;
    int m_lastInFolder = -1;

    // The last entry of each source folder and of each output folder (by its key in OutputPaths),
    // in list order.
    struct FolderEnd {
        int lastEntry = -1;
        QString folder;
        bool output = false;
    };
    std::vector<FolderEnd> m_folderEnds;
    size_t m_nextEnd = 0; // the first of m_folderEnds not yet passed

    QHash<QString, QSet<QString>> m_seenSources; // source folder -> the names seen there
    QString m_seenFolder;                        // the folder whose names m_seenInFolder holds
    QSet<QString> *m_seenInFolder = nullptr;
};
