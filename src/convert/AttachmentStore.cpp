#include "convert/AttachmentStore.h"

#include "platform/PathHelpers.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString messageNumber(const QString &path)
{
    const QString name = GetFileNamePart(path);
    return name.left(name.indexOf(u'.'));
}

QString normalised(const QString &name)
{
    return name.normalized(QString::NormalizationForm_C);
}

// Picks the file in an attachment folder that holds the part named `fileName`.
QString pickAttachmentFile(const QString &folder, const QString &fileName)
{
    QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    files.removeIf([](const QFileInfo &file) { return !file.isFile(); }); // links to pipes, devices
    if (files.isEmpty())
        return {};
    const QString wanted = normalised(fileName);
    if (!wanted.isEmpty()) {
        for (const QFileInfo &file : files)
            if (normalised(file.fileName()) == wanted)
                return file.filePath();
        for (const QFileInfo &file : files)
            if (normalised(file.fileName()).compare(wanted, Qt::CaseInsensitive) == 0)
                return file.filePath();
        for (const QFileInfo &file : files) // the mail client may have added an extension
            if (normalised(file.fileName()).startsWith(wanted + u'.'))
                return file.filePath();
    }
    return files.size() == 1 ? files.first().filePath() : QString();
}

} // namespace

std::optional<StrippedContent> findStrippedContent(const QString &messagePath, const QString &section,
                                                   const QString &fileName)
{
    const QString folder = QFileInfo(messagePath).absolutePath();
    const QString number = messageNumber(messagePath);
    const QString attachmentFolder = folder + QStringLiteral("/../Attachments/") + number + u'/' + section;
    const QString file = pickAttachmentFile(QDir::cleanPath(attachmentFolder), fileName);
    if (!file.isEmpty())
        return StrippedContent{file, false};
    const QString part = folder + u'/' + number + u'.' + section + QStringLiteral(".emlxpart");
    if (QFileInfo(part).isFile())
        return StrippedContent{part, true};
    return std::nullopt;
}
