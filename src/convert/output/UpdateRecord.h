#pragma once

#include "convert/OutputNaming.h"
#include "platform/PathHelpers.h"

#include <QHash>
#include <QList>
#include <QString>

#include <mutex>
#include <optional>

// What runs with --update wrote into a destination, kept in a small file there, so that a
// later --update run knows what an unchanged source becomes without opening it: the name its
// headers gave and where the message lies in the file. A source counts as unchanged while its
// size and modification time are those recorded. The file is a cache: an entry that does not
// fit is ignored, and the source is then read as usual.
class UpdateRecord
{
public:
    struct Entry {
        qint64 sourceSize = 0;
        FileStamp sourceStamp;
        NamingScheme scheme = NamingScheme::Original;
        QString name; // before numbering of alike names
        qint64 messageOffset = 0;
        qint64 messageLength = 0;
    };

    static QString pathIn(const QString &destination);

    // Takes in the record a run left in `destination`, if any.
    void load(const QString &destination);
    // The entry of a source (an absolute path) whose file still has the recorded size and
    // modification time; the stamp is as the file has it now. Safe on the run's reading threads
    // while the run's own thread adds and saves.
    std::optional<Entry> unchangedEntryOf(const QString &source) const;

    // Keeps `entry` for `source`, to be written with the next save.
    void add(const QString &source, const Entry &entry);
    // Writes the record anew (RecordFile) once what was added since the last save is as much as
    // what was saved then: a long run saves it a few times, not once per message.
    FileResult saveWhenDue();
    // Writes the record anew when anything was added since the last save.
    FileResult save();

private:
    QString m_path;
    QHash<QString, Entry> m_entries; // during a run changed by add() alone, under m_lock
    mutable std::mutex m_lock;
    qsizetype m_added = 0; // entries added since the last save
    qsizetype m_saved = 0; // entries in the record as last saved or loaded
};
