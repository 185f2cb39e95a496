#pragma once

#include <QString>
#include <QStringList>

// Where the pickers of this session open. The source pickers open at the last source; the
// destination picker at the last destination, else at Documents or home, and never at or below
// a source folder: a few Enters must not write a run's output into the mail store.
class PickerStarts
{
public:
    // A scanned folder, or the folder of files picked.
    void sourceChosen(const QString &folder);
    void destinationChosen(const QString &folder);

    QString sourceStart() const;
    QString destinationStart() const;

private:
    bool atOrBelowSource(const QString &folder) const;

    QStringList m_sources; // every source folder of the session, the last one last
    QString m_lastDestination;
};
