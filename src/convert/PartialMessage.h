#pragma once

#include "convert/EmlxEnvelope.h"

#include <QStringList>

#include <functional>

class QIODevice;

// A message whose attachments the mail client cut out and keeps beside it, decoded, in
// Attachments/<number>/<section>/ next to the Messages folder, or in older stores as
// <number>.<section>.emlxpart files next to the message, already encoded.
bool isPartialMessageFile(const QString &path);
// "12.partial.emlx" -> "12.emlx": the full copy that, when present, is converted instead.
QString fullMessageFileOf(const QString &partialPath);

struct ReassemblyResult {
    bool ok = true;
    QString error;
    QStringList missingParts; // "2.1 (report.pdf)": parts left empty because their content was not found
};

// Writes the message of `path` to `out` with every stripped part's content put back, encoded
// as its Content-Transfer-Encoding says, and its X-Apple-Content-Length line removed. Every
// other byte stays as it was. Memory stays bounded whatever the sizes. `keepGoing`, when given,
// is asked before each large write; false ends the message unfinished, with an error.
ReassemblyResult writeReassembledMessage(const QString &path, const EmlxEnvelope &envelope, QIODevice &out,
                                         const std::function<bool()> &keepGoing = {});
