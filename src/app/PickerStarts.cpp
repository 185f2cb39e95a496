#include "app/PickerStarts.h"

#include "platform/PathHelpers.h"

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
    const QString clean = cleanFolder(folder);
    m_sources.removeAll(clean);
    m_sources.append(clean);
}

void PickerStarts::destinationChosen(const QString &folder)
{
    m_lastDestination = cleanFolder(folder);
}

QString PickerStarts::sourceStart() const
{
    return m_sources.isEmpty() ? QDir::homePath() : m_sources.constLast();
}

QString PickerStarts::destinationStart() const
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    for (const QString &candidate : {m_lastDestination, documents, QDir::homePath()}) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isDir() && !atOrBelowSource(candidate))
            return cleanFolder(candidate);
    }
    return QDir::rootPath();
}

bool PickerStarts::atOrBelowSource(const QString &folder) const
{
    const QString clean = cleanFolder(folder);
    for (const QString &source : m_sources) {
        const QString prefix = withTrailingSlash(source);
        if (clean == source || clean.startsWith(prefix))
            return true;
    }
    return false;
}
