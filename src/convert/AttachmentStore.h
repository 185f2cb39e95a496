#pragma once

#include <QString>

#include <optional>

// Where the mail client keeps the parts it cut out of a partial message: decoded, in
// Attachments/<number>/<section>/ next to the Messages folder, or in older stores encoded
// already, as <number>.<section>.emlxpart next to the message.
struct StrippedContent {
    QString path;
    bool encoded = false; // an .emlxpart file holds the transfer-encoded body already
};

// The file that holds part `section` ("2.1") of the message at `messagePath`, whose headers
// name it `fileName` (empty when unnamed). In the attachment folder the name is matched as it
// is, then regardless of case, then with an extension the mail client added (names compared
// in NFC); failing those, the folder's only regular file is taken. None when nothing fits.
std::optional<StrippedContent> findStrippedContent(const QString &messagePath, const QString &section,
                                                   const QString &fileName);
