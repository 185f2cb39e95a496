#include "app/PickerStarts.h"

#include "convert/SourceFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString cleanFolder(const QString &folder)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(folder));
}

} // namespace

void PickerStarts::sourceChosen(const QString &folder)
{
    m_lastSource = cleanFolder(folder);
}

void PickerStarts::destinationChosen(const QString &folder)
{
    m_lastDestination = cleanFolder(folder);
}

QString PickerStarts::sourceStart() const
{
    return m_lastSource.isEmpty() ? QDir::homePath() : m_lastSource;
}

QString PickerStarts::destinationStart(const SourceFolders &sources) const
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    for (const QString &candidate : {m_lastDestination, documents, QDir::homePath(), QDir::tempPath()}) {
        if (candidate.isEmpty() || !QFileInfo(candidate).isDir() || QDir(candidate).isRoot())
            continue;
        RunOptions options; // the window's run: loose .eml files, folders mirrored
        options.destination = candidate;
        if (sources.refusal(options).isEmpty())
            return cleanFolder(candidate);
    }
    return {};
}
