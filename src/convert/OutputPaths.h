#pragma once

#include "convert/NameDigest.h"
#include "convert/OutputFolder.h"
#include "platform/DestinationFolder.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// Where the messages of one run go: the folder the layout gives each source below the
// destination, the source's own name as an output name, and a number for a name that an
// earlier message of the run took. Names that differ only in letter case are alike whatever the
// destination's file system says of itself (some that ignore letter case do not tell).
class OutputPaths
{
public:
    // Whether the format keeps a folder below the destination ("cur/", "Box/cur/") for itself.
    using ReservedFolder = std::function<bool(const QString &folderBelowDestination)>;
    OutputPaths(const Destination &destination, OutputLayout layout, ReservedFolder reserved = {});

    // What must be known before the first message: the run's sources (whether the mailboxes
    // layout keeps a folder per account; which source folders, or mailboxes, would meet in one
    // output folder).
    void takeInSources(const QStringList &absoluteSources);

    // The folder (a whole path, ending in '/') for a message file; its warning when a mailbox
    // name could not become a folder name as it is.
    OutputFolder folderFor(const QString &absoluteSource) const;
    // The file's own name as an output name ("1.emlx" -> "1.eml"), not yet cleaned.
    static QString ownName(const QString &absoluteSource);
    // The path for a message named `name` in `folder`, numbered when an earlier message of the
    // run has it already. Called in list order. `caseOnly` is set where the earlier name differs
    // from this one only in letter case.
    QString claim(const QString &folder, const QString &name, bool *caseOnly = nullptr);
    // Drops the names taken in `folder`: no later message of the run goes there.
    void forgetNamesIn(const QString &folder);
    // Folders whose keys are equal share their names (letter case ignored).
    static QString keyOf(const QString &target) { return target.toCaseFolded(); }

private:
    // What numbering needs of one output folder: the names taken there, and where the numbers of
    // a name taken more than once go on.
    struct FolderNames {
        QSet<NameDigest> claimed;   // names as compared
        QSet<NameDigest> spellings; // names as asked for, in their own letter case
        QHash<NameDigest, int> nextNumber;
    };

    NameDigest digestOf(const QString &name) const { return m_digests.of(keyOf(name)); }
    FolderNames &namesIn(const QString &folder);
    // The source folder whose messages share one output folder: the folder itself in the mirror
    // layout, the innermost mailbox folder in the mailboxes layout; empty for none.
    QString originOf(const QString &absoluteSource) const;
    void keepSourceFoldersApart(const QStringList &absoluteSources);

    const Destination &m_destination;
    OutputLayout m_layout;
    ReservedFolder m_reserved;
    bool m_accountLevel = false;
    NameDigests m_digests;
    QHash<QString, FolderNames> m_names; // by the folder's key
    QString m_lastFolder;                // the folder whose names m_lastNames are
    FolderNames *m_lastNames = nullptr;
    QHash<QString, OutputFolder> m_apart; // origin -> the numbered folder it gets instead
};
