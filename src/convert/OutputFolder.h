#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// Where below the destination a message goes.
enum class OutputLayout {
    Mirror,    // the whole folder path of the source, without its root
    Mailboxes, // only the mailbox folders ("Projects.mbox/Alpha.mbox" -> "Projects/Alpha")
};

struct OutputFolder {
    QString path;    // below the destination, ending in '/' unless empty
    QString warning; // set when a mailbox name could not become a folder name as it is
};

// The folder below the destination that the layout gives a message file. With accountLevel, the
// mailboxes of a mail store's account go into a folder named after the account folder.
OutputFolder outputFolderBelowDestination(const QString &absoluteSource, OutputLayout layout,
                                          bool accountLevel = false);

// The account folder of a message in a mail store (the folder right below "V<n>/" that holds the
// message's mailbox), as a whole path; empty for a message that is not in a mail store.
QString accountFolderOf(const QString &absoluteSource);

// Whether the mailboxes layout keeps one folder per account, so that accounts do not overwrite
// each other: the messages come from more than one account folder, or their mail store holds
// more than one.
bool needsAccountLevel(const QStringList &absoluteSources);

// The mbox file of a mailbox folder (a whole path below `destination`, ending in '/'): the
// folder's own path as a file; "mbox" for messages that go to the destination itself. Where a
// folder of `mailboxFolders` holds another, the inner one goes into a folder named after the
// outer with ".sbd" added ("Projects" and "Projects.sbd/Alpha"), as desktop clients keep their
// local folders, since one path cannot be a file and a folder at once.
QString mboxFileOf(const QString &folder, const QString &destination, const QSet<QString> &mailboxFolders);
