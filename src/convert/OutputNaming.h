#pragma once

#include "convert/MessageHeaders.h"

#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <iterator>
#include <optional>

// The ways of naming an output file, in the order the window and the CLI list them; each has
// its row in namingSchemes below, at its own index.
enum class NamingScheme {
    Original,          // the message file's own name, ending in ".eml"
    SubjectDate,       // Subject dd-mm-yyyy.eml
    SenderSubjectDate, // From Subject dd-mm-yyyy.eml
    DateSenderSubject, // dd-mm-yyyy From Subject.eml
    YmdSubjectSender,  // yyyy-mm-dd Subject From.eml
    MdySubjectSender,  // mm-dd-yyyy Subject From.eml
};

// A part of a name made from the headers; None fills the unused places of a scheme's fields.
enum class NameField { None, Subject, From, Date };

// Everything that tells one scheme from another. A name from headers is its fields in order,
// one space apart, then ".eml"; the date is written in dateFormat, where dd, mm and yyyy stand
// for the day, the month and the year. A scheme without fields keeps the file's own name.
struct NamingSchemeRow {
    NamingScheme scheme;
    QLatin1StringView name;       // on the command line: -n subject-date
    QLatin1StringView option;     // the objectName of the window's radio button
    QLatin1StringView dateFormat; // empty when no field is the date
    std::array<NameField, 3> fields;
};

inline constexpr NamingSchemeRow namingSchemes[] = {
    {NamingScheme::Original, QLatin1StringView("original"), QLatin1StringView("OptOriginal"), {}, {}},
    {NamingScheme::SubjectDate,
     QLatin1StringView("subject-date"),
     QLatin1StringView("OptSD"),
     QLatin1StringView("dd-mm-yyyy"),
     {NameField::Subject, NameField::Date}},
    {NamingScheme::SenderSubjectDate,
     QLatin1StringView("sender-subject-date"),
     QLatin1StringView("OptFSD"),
     QLatin1StringView("dd-mm-yyyy"),
     {NameField::From, NameField::Subject, NameField::Date}},
    {NamingScheme::DateSenderSubject,
     QLatin1StringView("date-sender-subject"),
     QLatin1StringView("OptDFS"),
     QLatin1StringView("dd-mm-yyyy"),
     {NameField::Date, NameField::From, NameField::Subject}},
    {NamingScheme::YmdSubjectSender,
     QLatin1StringView("ymd-subject-sender"),
     QLatin1StringView("OptDFS_YMD"),
     QLatin1StringView("yyyy-mm-dd"),
     {NameField::Date, NameField::Subject, NameField::From}},
    {NamingScheme::MdySubjectSender,
     QLatin1StringView("mdy-subject-sender"),
     QLatin1StringView("OptDFS_MYD"),
     QLatin1StringView("mm-dd-yyyy"),
     {NameField::Date, NameField::Subject, NameField::From}},
};

constexpr bool eachSchemeAtItsIndex()
{
    for (std::size_t i = 0; i < std::size(namingSchemes); ++i)
        if (std::size_t(namingSchemes[i].scheme) != i)
            return false;
    return true;
}
static_assert(eachSchemeAtItsIndex(), "namingSchemes lists the schemes in enum order");

const NamingSchemeRow &schemeRow(NamingScheme scheme);
// The scheme's fields without the unused places.
QList<NameField> schemeFields(NamingScheme scheme);
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
// CleanOutputName removes and the dots, dashes and blanks a name would start with, and a long
// name is shortened from the end of its last header field (then the one before), keeping the
// date and ".eml".
QString ComposeOutputName(const QString &ownName, NamingScheme scheme, MessageHeaders &headers);

// Removes the characters a file name may not hold (controls, DEL, C1 controls, bidirectional
// controls, zero-width characters and :?\/*"<>|) and caps the length; a ".eml" ending survives
// the cap.
QString CleanOutputName(const QString &name);

// Outputs get copied to Windows disks, whose file systems keep CON, PRN, AUX, NUL, COM1-COM9
// and LPT1-LPT9 (in any letter case, with any extension) for devices and drop the dots and
// blanks that end a name: such a name gets a '_' in front, each such ending dot or blank becomes
// '_' ("nul.txt" -> "_nul.txt", "Inbox." -> "Inbox_"). On every system, so outputs are alike.
QString notReservedName(QString name);

// The name with " (n)" before its ".eml", still within the caps, and a date that ends the
// name kept; n >= 2.
QString numberedOutputName(const QString &cleanName, int n);
