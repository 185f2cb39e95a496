#pragma once

#include "platform/PathHelpers.h"

#include <QHash>
#include <QList>
#include <QString>

// What --update runs put into the mailbox files of a destination (mbox), kept in a small file
// there: for each mailbox file its own size and modification time, and the sources it holds with
// their size and modification time. A later --update run leaves a mailbox file alone only while
// the file is as recorded and the run would write the very same sources into it; anything that
// does not fit is ignored, and the mailbox is then written again.
class MailboxRecord
{
public:
    // A source as a mailbox holds it.
    struct Source {
        QString path; // whole and clean
        qint64 size = 0;
        qint64 modifiedSeconds = 0;
        qint64 modifiedNanoseconds = 0;
        bool operator==(const Source &) const = default;
        bool operator<(const Source &other) const { return path < other.path; }
    };
    struct Mailbox {
        qint64 size = 0;
        FileStamp stamp;
        QList<Source> sources; // sorted by path
    };

    static QString pathIn(const QString &destination);
    static Source sourceOf(const QString &path, qint64 size, const FileStamp &stamp);

    // Takes in the record a run left in `destination` (given with its trailing '/'), if any.
    void load(const QString &destinationPrefix);
    // The recorded content of a mailbox file (a whole path), null when there is none.
    const Mailbox *find(const QString &mailbox) const;
    // Whether the file `mailbox` is still the one recorded and holds exactly `sources` (sorted).
    bool holds(const QString &mailbox, const QList<Source> &sources) const;
    // Records what the mailbox file, just put in place, holds; saved by the next save.
    void keep(const QString &mailbox, QList<Source> sources);
    // Writes the record anew when anything was kept since the last save.
    FileResult save();

private:
    QString m_prefix;
    QHash<QString, Mailbox> m_mailboxes; // whole path -> what it holds
    bool m_changed = false;
};
