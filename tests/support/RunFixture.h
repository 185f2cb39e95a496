#pragma once

#include "TestFiles.h"
#include "convert/ConversionRun.h"
#include "platform/PathHelpers.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A fresh folder for each test function of a run's suite: sources below src/, outputs below out/.
// A suite derives from it beside QObject and calls renew() in its init().
class RunFixture
{
protected:
    void renew() { m_dir = std::make_unique<QTemporaryDir>(); }
    QString src(const QString &relative) const { return m_dir->filePath("src/" + relative); }
    QString dest() const { return m_dir->filePath("out"); }
    QString root() const { return m_dir->path(); }
    // Where a source below src/ is mirrored under the destination.
    QString mirrored(const QString &relative) const
    {
        return dest() + '/' + dropPathRoot(QDir::cleanPath(m_dir->filePath("src/" + relative)));
    }
    QStringList outputFiles() const { return TestFiles::filesBelow(dest()); }

    // A small store for the formats' suites: partial messages put back whole, "From " lines and
    // alike names, a mailbox that holds another, and a message that fails. The .emlx sources in
    // list order; the fourth fails (it holds no message).
    QStringList writeMailboxStore() const
    {
        const QByteArray partial =
            "From: Ann <ann@example.com>\nSubject: alike\nDate: Sat, 6 Aug 2011 10:00:00 +0200\nMIME-Version: 1.0\n"
            "Content-Type: multipart/mixed; boundary=\"b\"\n\n--b\nContent-Type: text/plain\n\nFrom the top\n"
            "--b\nContent-Type: text/plain; name=\"a.txt\"\nContent-Transfer-Encoding: 7bit\n"
            "X-Apple-Content-Length: 19\n\n\n--b--\n";
        const QList<QPair<QString, QByteArray>> files{
            {"INBOX.mbox/Messages/1.emlx",
             TestFiles::emlx("Return-Path: <bounce@lists.example.org>\n" + TestFiles::mail("alike") +
                             "From me\n>From you\n>>From them\n")},
            {"INBOX.mbox/Messages/2.partial.emlx", TestFiles::emlx(partial)},
            {"INBOX.mbox/Messages/2.2.emlxpart", "From inside a part\n"},
            {"INBOX.mbox/Messages/3.emlx", QByteArray()}, // fails: holds no message
            {"INBOX.mbox/Messages/4.emlx",
             TestFiles::emlx("Return-Path: <>\n" + TestFiles::mail("alike").chopped(1))}, // no line break at the end
            {"Projects.mbox/Alpha.mbox/Messages/5.emlx", TestFiles::emlx("Subject: x\r\n\r\nFrom crlf\r\n")},
            {"Projects.mbox/Messages/6.emlx", TestFiles::emlx(TestFiles::mail("outer"))}, // holds another mailbox
        };
        QStringList sources;
        for (const auto &[path, bytes] : files)
            if (TestFiles::write(src(path), bytes) && path.endsWith(".emlx"))
                sources << src(path);
        return sources;
    }

    // A run into `destination` under the mailboxes layout, in `format`.
    static RunOptions mailboxesIn(const QString &destination, OutputFormat format)
    {
        RunOptions options{destination, NamingScheme::Original, false, OutputLayout::Mailboxes};
        options.format = format;
        return options;
    }

    // The messages of writeMailboxStore converted twice under the mailboxes layout and
    // subject-date names, into loose .eml files below out/eml and in `format` below out/boxes.
    struct AgainstEml {
        RunReport eml, boxes;
        QString destination; // of the boxes
        QStringList expected; // for each of the boxes' outputs: "target<TAB>the bytes of its .eml file"
    };
    AgainstEml convertAgainstEml(OutputFormat format, int jobs) const
    {
        const QStringList sources = writeMailboxStore();
        RunOptions eml{dest() + "/eml", NamingScheme::SubjectDate, false, OutputLayout::Mailboxes};
        RunOptions boxes = eml;
        boxes.destination = dest() + "/boxes";
        boxes.format = format;
        boxes.jobs = jobs;
        AgainstEml result{convertAll(sources, eml), convertAll(sources, boxes), boxes.destination, {}};
        for (qsizetype i = 0; i < result.boxes.outputs.size() && i < result.eml.outputs.size(); ++i)
            result.expected << result.boxes.outputs[i].target + '\t' + TestFiles::read(result.eml.outputs[i].target);
        return result;
    }

    // One message in each of the mail client's `states` (its flags), in list order in INBOX, and
    // one more in Projects/Alpha, each with a "From " line in its body; converted into .eml files
    // below out/eml and in `format` (with the status headers, for mbox) below out/boxes, under
    // the mailboxes layout.
    struct StatesAgainstEml {
        RunReport boxes;
        QString destination;   // of the boxes
        QList<QByteArray> eml; // the bytes of each message's .eml file, in list order
    };
    StatesAgainstEml convertStatesAgainstEml(OutputFormat format, const QList<quint64> &states) const
    {
        QStringList sources;
        for (qsizetype i = 0; i <= states.size(); ++i) {
            const QString mailbox = i < states.size() ? "INBOX.mbox" : "Projects.mbox/Alpha.mbox";
            sources << src(QStringLiteral("%1/Messages/%2.emlx").arg(mailbox).arg(i + 1));
            const QByteArray flags = QByteArray::number(i < states.size() ? states[i] : 0);
            TestFiles::write(sources.last(), TestFiles::emlx(TestFiles::mail("state " + flags) + "From here\n",
                                                             TestFiles::propertyList("<key>flags</key>\n<integer>" +
                                                                                     flags + "</integer>\n")));
        }
        RunOptions eml = mailboxesIn(dest() + "/eml", OutputFormat::Eml);
        RunOptions boxes = mailboxesIn(dest() + "/boxes", format);
        boxes.mboxStatus = true;
        StatesAgainstEml result{convertAll(sources, boxes), boxes.destination, {}};
        for (const PlannedOutput &output : convertAll(sources, eml).outputs)
            result.eml << TestFiles::read(output.target);
        return result;
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};
