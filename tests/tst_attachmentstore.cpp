#include "TestFiles.h"
#include "convert/AttachmentStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

class AttachmentStoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Which kept file holds part 3 of message 7, named `wanted` in its headers. Paths are below
    // the mailbox's Data folder; one ending in '/' is a folder, one ending in '@' a link to a device.
    void findsTheFileOfAPart_data()
    {
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QString>("found");
        QTest::addColumn<bool>("encoded");
        const QString resume = QString::fromUtf8("Résumé.pdf");
        const QString folder = QStringLiteral("Attachments/7/3/");
        const QString encodedFile = QStringLiteral("Messages/7.3.emlxpart");
        QTest::newRow("same name, beside another file")
            << resume << QStringList{folder + resume, folder + "other.pdf"} << folder + resume << false;
        const QString decomposed = resume.normalized(QString::NormalizationForm_D);
        QTest::newRow("name stored decomposed")
            << resume << QStringList{folder + decomposed, folder + "other.pdf"} << folder + decomposed << false;
        QTest::newRow("other case") << resume << QStringList{folder + resume.toUpper(), folder + "other.pdf"}
                                    << folder + resume.toUpper() << false;
        QTest::newRow("same name before other case")
            << resume.toLower() << QStringList{folder + resume, folder + resume.toLower()} << folder + resume.toLower()
            << false;
        QTest::newRow("extension added") << resume << QStringList{folder + resume + ".pdf", folder + "other.pdf"}
                                         << folder + resume + ".pdf" << false;
        QTest::newRow("only file, other name")
            << resume << QStringList{folder + "Attachment"} << folder + "Attachment" << false;
        QTest::newRow("only regular file, beside a folder and a link to a device")
            << resume << QStringList{folder + "Attachment", folder + "sub/", folder + resume + '@'}
            << folder + "Attachment" << false;
        QTest::newRow("part without a name")
            << "" << QStringList{folder + "Attachment"} << folder + "Attachment" << false;
        QTest::newRow("two files, neither named")
            << resume << QStringList{folder + "a.pdf", folder + "b.pdf"} << "" << false;
        QTest::newRow("folder of the part's name") << resume << QStringList{folder + resume + '/'} << "" << false;
        QTest::newRow("encoded file beside the message") << resume << QStringList{encodedFile} << encodedFile << true;
        QTest::newRow("attachment folder before the encoded file")
            << resume << QStringList{folder + resume, encodedFile} << folder + resume << false;
        QTest::newRow("encoded file when no kept file fits")
            << resume << QStringList{folder + "a.pdf", folder + "b.pdf", encodedFile} << encodedFile << true;
        QTest::newRow("another message's parts")
            << resume << QStringList{"Attachments/8/3/" + resume, "Messages/8.3.emlxpart"} << "" << false;
        QTest::newRow("nothing kept") << resume << QStringList{} << "" << false;
    }
    void findsTheFileOfAPart()
    {
        QFETCH(QString, wanted);
        QFETCH(QStringList, kept);
#ifdef Q_OS_WIN
        if (std::any_of(kept.begin(), kept.end(), [](const QString &path) { return path.endsWith(u'@'); }))
            QSKIP(TestFiles::noSymbolicLinks);
        QStringList folded;
        for (const QString &path : kept)
            folded << path.toCaseFolded();
        folded.removeDuplicates();
        if (folded.size() != kept.size())
            QSKIP("the file system ignores letter case: names that differ only in it are one file");
#endif
        QTemporaryDir dir;
        const QDir data(dir.filePath("V10/Acct/Box.mbox/Data"));
        for (const QString &path : kept) {
            if (path.endsWith(u'@'))
                QVERIFY(QFile::link(QStringLiteral("/dev/null"), data.filePath(path.chopped(1))));
            else
                QVERIFY(path.endsWith(u'/') ? data.mkpath(path) : TestFiles::write(data.filePath(path), "content"));
        }
        QVERIFY(TestFiles::write(data.filePath("Messages/7.partial.emlx"), "message"));

        const std::optional<StrippedContent> content =
            findStrippedContent(data.filePath("Messages/7.partial.emlx"), QStringLiteral("3"), wanted);
        QTEST(content ? data.relativeFilePath(content->path) : QString(), "found");
        QTEST(content && content->encoded, "encoded");
    }
};

QTEST_GUILESS_MAIN(AttachmentStoreTest)
#include "tst_attachmentstore.moc"
