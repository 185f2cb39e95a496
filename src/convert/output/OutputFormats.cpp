#include "convert/output/OutputFormats.h"

#include "convert/NamedRows.h"

#include "convert/output/EmlFiles.h"
#include "convert/output/MaildirFolders.h"
#include "convert/output/MboxFiles.h"

#include <iterator>

const OutputFormatRow outputFormats[3] = {
    {OutputFormat::Eml, QLatin1StringView("eml"), QLatin1StringView("loose .eml files"), &EmlFiles::make},
    {OutputFormat::Mbox, QLatin1StringView("mbox"), QLatin1StringView("one mbox file named after the mailbox"),
     &MboxFiles::make},
    {OutputFormat::Maildir, QLatin1StringView("maildir"),
     QLatin1StringView("a Maildir (cur, new, tmp) whose file names keep the read, answered, flagged, draft and "
                       "deleted state"),
     &MaildirFolders::make},
};

const OutputFormatRow &formatRow(OutputFormat format)
{
    for (const OutputFormatRow &row : outputFormats)
        if (row.format == format)
            return row;
    return outputFormats[0];
}

std::optional<OutputFormat> formatFromName(const QString &name)
{
    const OutputFormatRow *row = rowNamed(outputFormats, name);
    return row ? std::optional(row->format) : std::nullopt;
}

QStringList formatNames()
{
    return rowNames(outputFormats);
}
