#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

// Names in a folder that are no valid UTF-8: Qt cannot name these files or folders, so its
// listings leave them out. Only the files that matter, and folders holding some, are kept.
struct UnusableNames {
    QStringList files;                      // the bad bytes written as \xNN
    QList<std::pair<QString, int>> folders; // with the number of files that matter below each
};

// What one folder holds, each list in name order, numbers in names taken as numbers ("2.emlx"
// before "10.emlx": the mail client's order of its messages).
struct FolderListing {
    QStringList folders;       // real folders, to walk into
    QStringList linkedFolders; // links to folders: named, not followed
    QStringList files;         // regular files, links to them, and links that lead nowhere
    QStringList specials;      // pipes, sockets, devices, and links to them
    UnusableNames unusable;
};

// Lists `folder` (ending in '/'); nothing when it cannot be read. Files whose names end in
// `suffix` (any letter case) are the ones that matter among names that are no valid UTF-8. Where
// the system's calls are used, one pass over the raw entries gives most entries' kinds without
// looking at each file; elsewhere Qt lists the folder.
std::optional<FolderListing> listFolder(const QString &folder, QByteArrayView suffix);
