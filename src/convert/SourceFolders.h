#pragma once

#include "convert/ConversionRun.h"

#include <QSet>
#include <QString>
#include <QStringList>

class Destination;
class WorkerThreads;

// A listed entry as a whole, clean path ("Mail/1.emlx" below the working folder).
QString absoluteSourceOf(const QString &entry);

// The folders that directly hold a run's listed message files, so that the run's outputs stay out
// of them: a destination for which any output would land in such a folder is refused whole,
// before anything is written. Outputs land in the folders the layout and format give the
// messages (a Maildir's own folder included, and an mbox file may not take the place of such a
// folder), and in the destination itself (the record of an update run, the window's report).
// Folders are compared as the file system finds them (links resolved) and in any letter case.
class SourceFolders
{
public:
    // The run's entries as listed; blank ones are no messages.
    explicit SourceFolders(const MessageSources &entries);
    explicit SourceFolders(const QStringList &entries) : SourceFolders(ListedSources(entries)) {}

    // Why options.destination would put outputs among the sources, naming both; empty when it
    // would not.
    QString refusal(const RunOptions &options) const;
    // The same for the entries and one destination: the threads look up the folders while the
    // caller plans where the outputs land (a run's check, made once).
    static QString refusalOf(const MessageSources &entries, const RunOptions &options, WorkerThreads &threads);

private:
    SourceFolders() = default;
    // Takes one entry of each folder; returns the folders, in list order.
    QStringList collect(const MessageSources &entries);
    void hold(const QStringList &resolved);
    QStringList landingFolders(const RunOptions &options, const Destination &destination) const;
    qsizetype firstHeld(const QStringList &landing, int share, int shares) const;
    static QString refusalText(const QString &folder, const Destination &destination);

    QStringList m_oneSourceEach; // one listed message file of each folder, whole paths, in list order
    QSet<QString> m_holding;     // the folders, resolved and case-folded
};
