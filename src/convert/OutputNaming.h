#pragma once

#include "MessageHeaders.h"

#include <QString>
#include <QStringList>

#include <optional>

// The six ways of naming an output file, in the order the window and the CLI list them.
enum class NamingScheme {
    Original,          // the message file's own name, ending in ".eml"
    SubjectDate,       // Subject dd-mm-yyyy.eml
    SenderSubjectDate, // From Subject dd-mm-yyyy.eml
    DateSenderSubject, // dd-mm-yyyy From Subject.eml
    YmdSubjectSender,  // yyyy-mm-dd Subject From.eml
    MdySubjectSender,  // mm-dd-yyyy Subject From.eml
};

bool schemeReadsHeaders(NamingScheme scheme);
// Command-line names of the schemes ("original", "subject-date", ...), in enum order.
QStringList schemeNames();
std::optional<NamingScheme> schemeFromName(const QString &name);

constexpr int outputNameLimit = 220;   // UTF-16 code units, extension included
constexpr int fileNameByteLimit = 255; // what Linux and macOS file systems allow, in UTF-8

// The message file's own name as an output name: a final ".emlx" or ".eml" in any letter case
// becomes ".eml", and a name without either ending gains ".eml".
QString ownOutputName(const QString &fileName);

// Puts the name together under the scheme, asking `headers` only for what the scheme needs.
// A name from headers comes out clean and within the caps: the header text loses what
// CleanOutputName removes and the dots a name would start with, and a long name is shortened
// from the end of its last header field (then the one before), keeping the date and ".eml".
QString ComposeOutputName(const QString &ownName, NamingScheme scheme, MessageHeaders &headers);

// Removes the characters a file name may not hold (controls, DEL, C1 controls, bidirectional
// controls and :?\/*"<>|) and caps the length; a ".eml" ending survives the cap.
QString CleanOutputName(const QString &name);

// The name with " (n)" before its ".eml", still within the caps, and a date that ends the
// name kept; n >= 2.
QString numberedOutputName(const QString &cleanName, int n);
