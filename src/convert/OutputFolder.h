#pragma once

#include "platform/MessageNote.h"

#include <QLatin1StringView>
#include <QString>
#include <QStringList>

#include <optional>

// Where below the destination a message goes.
enum class OutputLayout {
    Mirror,    // the whole folder path of the source, without its root
    Mailboxes, // only the mailbox folders ("Projects.mbox/Alpha.mbox" -> "Projects/Alpha")
};

// Everything that tells one layout from another, one row each, in enum order.
struct OutputLayoutRow {
    OutputLayout layout;
    QLatin1StringView name; // on the command line: --layout mailboxes
    QLatin1StringView help; // what --help says of it
};

inline constexpr OutputLayoutRow outputLayouts[] = {
    {OutputLayout::Mirror, QLatin1StringView("mirror"), QLatin1StringView("repeats each source's whole folder path")},
    {OutputLayout::Mailboxes, QLatin1StringView("mailboxes"),
     QLatin1StringView("keeps only the mailbox names (Projects/Alpha)")},
};

std::optional<OutputLayout> layoutFromName(const QString &name);
// Command-line names of the layouts ("mirror", "mailboxes"), in enum order.
QStringList layoutNames();

struct OutputFolder {
    QString path;    // below the destination, ending in '/' unless empty
    QString warning; // set when the folder is not the one the layout names at first sight
    NoteReason reason = NoteReason::MailboxName; // of the warning
};

// The folder below the destination that the layout gives a message file. With accountLevel, the
// mailboxes of a mail store's account go into a folder named after the account folder.
OutputFolder outputFolderBelowDestination(const QString &absoluteSource, OutputLayout layout,
                                          bool accountLevel = false);

// The account folder of a message in a mail store (the folder right below "V<n>/" that holds the
// message's mailbox), as a whole path; empty for a message that is not in a mail store.
QString accountFolderOf(const QString &absoluteSource);

// A message's place in its mail store, as it stays when the store is moved or mounted elsewhere:
// its account folder's name, its mailbox folders and its own file name
// ("<account>/Projects.mbox/Alpha.mbox/123.emlx"); for a file outside a mailbox only the mailbox
// folders above it, if any, and its name.
QString storePlaceOf(const QString &absoluteSource);

// Whether the mailboxes layout keeps one folder per account, so that accounts do not overwrite
// each other: the messages come from more than one account folder, or their mail store holds
// more than one.
bool needsAccountLevel(const QStringList &absoluteSources);


