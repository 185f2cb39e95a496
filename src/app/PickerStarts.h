#pragma once

#include <QString>
#include <QStringList>

class SourceFolders;

// Where the pickers of this session open. The source pickers open at the last source; the
// destination picker at the last destination, else at Documents, else home, else the temporary
// folder, never at the root and never at a folder that the run would refuse (see SourceFolders):
// a few Enters must not write a run's output into the mail store.
class PickerStarts
{
public:
    // A scanned folder, or the folder of files picked.
    void sourceChosen(const QString &folder);
    void destinationChosen(const QString &folder);

    QString sourceStart() const;
    // Empty when no candidate will do: the picker then opens where it likes.
    QString destinationStart(const SourceFolders &sources) const;

private:
    QString m_lastSource;
    QString m_lastDestination;
};
