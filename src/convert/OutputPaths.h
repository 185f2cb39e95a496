#pragma once

#include "convert/NameDigest.h"
#include "convert/OutputFolder.h"
#include "platform/DestinationFolder.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// Where the messages of one run go: the folder the layout gives each source below the
// destination, the source's own name as an output name, and a number for a name that an
// earlier message of the run took ("alike" by the destination's letter-case rule).
class OutputPaths
{
public:
    OutputPaths(const Destination &destination, OutputLayout layout);

    // What must be known before the first message: the run's sources (whether the mailboxes
    // layout keeps a folder per account; which source folders would meet in one output folder)
    // and, once the destination exists, its letter-case rule.
    void takeInSources(const QStringList &absoluteSources);
    void readDestinationRules();

    // The folder (a whole path, ending in '/') for a message file; its warning when a mailbox
    // name could not become a folder name as it is.
    OutputFolder folderFor(const QString &absoluteSource) const;
    // The file's own name as an output name ("1.emlx" -> "1.eml"), not yet cleaned.
    static QString ownName(const QString &absoluteSource);
    // The path for a message named `name` in `folder`, numbered when an earlier message of the
    // run has it already. Called in list order.
    QString claim(const QString &folder, const QString &name);

private:
    // What numbering needs of one output folder: the names taken there, and where the numbers of
    // a name taken more than once go on.
    struct FolderNames {
        QSet<NameDigest> claimed;
        QHash<NameDigest, int> nextNumber;
    };

    QString keyOf(const QString &target) const { return m_ignoreCase ? target.toCaseFolded() : target; }
    NameDigest digestOf(const QString &name) const { return m_digests.of(keyOf(name)); }
    FolderNames &namesIn(const QString &folder);
    void keepSourceFoldersApart(const QStringList &absoluteSources);

    const Destination &m_destination;
    OutputLayout m_layout;
    bool m_accountLevel = false;
    bool m_ignoreCase = false;
    NameDigests m_digests;
    QHash<QString, FolderNames> m_names; // by the folder's key
    QString m_lastFolder;                // the folder whose names m_lastNames are
    FolderNames *m_lastNames = nullptr;
    QHash<QString, OutputFolder> m_apart; // source folder -> the numbered folder it gets instead
};
