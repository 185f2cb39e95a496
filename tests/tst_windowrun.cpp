#include "PathHelpers.h"
#include "TestFiles.h"
#include "WindowTesting.h"

#include <QDirIterator>
#include <QLabel>
#include <QProgressBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

const QByteArray message = "Subject: Hello\r\nFrom: Ann <ann@example.org>\r\n"
                           "Date: Sat, 06 Aug 2011 10:00:00 +0200\r\n\r\nBody\r\n";

// One step of a run as the window showed it: bar value, label, current row of the grid.
QString shownStep(const TestWindow &test)
{
    return QStringLiteral("%1 | %2 | row %3")
        .arg(test.get<QProgressBar>("ProgressBar1")->value())
        .arg(test.get<QLabel>("LblProgessCurrent")->text())
        .arg(test.get<QTableView>("grdFiles1")->currentIndex().row());
}

} // namespace

class TestWindowRun : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString source() const { return m_dir->path() + QStringLiteral("/src"); }
    QString destination() const { return m_dir->path() + QStringLiteral("/out"); }
    // Where the run writes a message that lies at `relative` below the source folder.
    QString output(const QString &relative) const
    {
        return destination() + u'/' + DropPathRoot(source()) + u'/' + relative;
    }
    QStringList makeFiles(const QStringList &relatives, const QStringList &left = {}) const
    {
        QStringList paths;
        for (const QString &relative : relatives) {
            paths.append(source() + u'/' + relative);
            if (!left.contains(relative) && !TestFiles::write(paths.constLast(), TestFiles::emlx(message)))
                qFatal("cannot write the fixture");
        }
        return paths;
    }
    void listFiles(const TestWindow &test, const QStringList &paths) const
    {
        test.prompts->files = {paths};
        test.click("cmdAdd");
        test.prompts->forget();
    }

private Q_SLOTS:
    void initTestCase() { QGuiApplication::setQuitOnLastWindowClosed(false); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void folderScan_data()
    {
        QTest::addColumn<QStringList>("earlier");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<bool>("convertEnabled");
        const QStringList three{"1.emlx", "2.emlx", "3.emlx"};
        QTest::newRow("appends to earlier rows") << QStringList{"/Old/1.emlx", "/Old/2.emlx"} << three << three << true;
        QTest::newRow("letter case and other names")
            << QStringList() << QStringList{"A.EMLX", "b.Emlx", "c.eml", "d.emlx.bak", "emlx"}
            << QStringList{"A.EMLX", "b.Emlx"} << true;
        QTest::newRow("breadth first") << QStringList() << QStringList{"r.emlx", "A/a.emlx", "A/A1/a1.emlx", "B/b.emlx"}
                                       << QStringList{"r.emlx", "A/a.emlx", "B/b.emlx", "A/A1/a1.emlx"} << true;
        QTest::newRow("non-ASCII names") << QStringList() << QStringList{"Grüße/Ωμέγα.emlx"}
                                         << QStringList{"Grüße/Ωμέγα.emlx"} << true;
        QTest::newRow("nothing found, empty list") << QStringList() << QStringList{"c.eml"} << QStringList() << false;
        QTest::newRow("nothing found, earlier rows")
            << QStringList{"/Old/1.emlx"} << QStringList{"c.eml"} << QStringList() << true;
    }

    void folderScan()
    {
        QFETCH(QStringList, earlier);
        QFETCH(QStringList, tree);
        QFETCH(QStringList, added);
        QFETCH(bool, convertEnabled);
        makeFiles(tree);
        TestWindow test;
        if (!earlier.isEmpty())
            listFiles(test, earlier);
        test.prompts->folders = {source()};

        test.click("CmdAddFolder");
        const QStringList rows = earlier + makeFiles(added, added);
        QCOMPARE(test.rows(), rows.isEmpty() ? QStringList{QString()} : rows);
        QCOMPARE(test.get<QLabel>("lblCount1")->text(), QStringLiteral("%1 files").arg(rows.size()));
        QCOMPARE(test.prompts->asked, QStringList({"pickFolder: Choose Source Folder...",
                                                   QStringLiteral("tell: %1 Files Added to List.").arg(added.size())}));
        QCOMPARE(test.prompts->busyCursorWhenAsked, QList<bool>({false, false}));
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(test.get("CmdConvert2PDF")->isEnabled(), convertEnabled);
    }

    // A file whose name Qt cannot hold is named in the count box, not lost without a word.
    void scanNamesWhatItLeftOut()
    {
        makeFiles({"ok.emlx"});
        const QByteArray raw = QFile::encodeName(source()) + "/caf\xe9.emlx";
        QVERIFY(TestFiles::write(source() + "/placeholder", {}) &&
                ::rename(QFile::encodeName(source() + "/placeholder").constData(), raw.constData()) == 0);
        TestWindow test;
        test.prompts->folders = {source()};
        test.click("CmdAddFolder");
        ::unlink(raw.constData());
        QCOMPARE(test.rows(), QStringList({source() + "/ok.emlx"}));
        QCOMPARE(test.prompts->asked.size(), 2);
        QVERIFY2(test.prompts->asked[1].startsWith("tell: 1 Files Added to List.") &&
                     test.prompts->asked[1].contains("caf\\xE9.emlx"),
                 qPrintable(test.prompts->asked[1]));
    }

    // Closing the window during a scan ends it at once: nothing is listed, no box is shown.
    void scanStopsWhenClosed()
    {
        QStringList many;
        for (int i = 0; i < 300; ++i)
            many << QStringLiteral("F%1/%2.emlx").arg(i % 30).arg(i);
        makeFiles(many);
        TestWindow test;
        test.prompts->folders = {source()};
        QTimer::singleShot(0, test.window.get(), [&test] { test.window->close(); });
        test.click("CmdAddFolder");
        QCOMPARE(test.prompts->asked, QStringList({"pickFolder: Choose Source Folder..."}));
        QCOMPARE(test.window->messageList().count(), 0);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void busyWhileWorking_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("busy");
        QTest::newRow("folder scan") << "CmdAddFolder"
                                     << "add 0, folder 0, clear 0, convert 0, exit 1, busy cursor 1";
        QTest::newRow("conversion run") << "CmdConvert2PDF"
                                        << "add 0, folder 0, clear 0, convert 0, exit 1, busy cursor 0";
    }

    void busyWhileWorking()
    {
        QFETCH(QString, button);
        QFETCH(QString, busy);
        TestWindow test;
        listFiles(test, makeFiles({"1.emlx"}));
        test.prompts->folders = {button == "CmdAddFolder" ? source() : destination()};
        const auto states = [&test] {
            return QStringLiteral("add %1, folder %2, clear %3, convert %4, exit %5, busy cursor %6")
                .arg(test.get("cmdAdd")->isEnabled())
                .arg(test.get("CmdAddFolder")->isEnabled())
                .arg(test.get("cmdClear1")->isEnabled())
                .arg(test.get("CmdConvert2PDF")->isEnabled())
                .arg(test.get("cmdEnd")->isEnabled())
                .arg(QGuiApplication::overrideCursor() != nullptr);
        };
        QString during;
        QTimer::singleShot(0, test.window.get(), [&] { during = states(); }); // runs at the first yield

        test.click(qPrintable(button));
        QCOMPARE(during, busy);
        QCOMPARE(states(), "add 1, folder 1, clear 1, convert 1, exit 1, busy cursor 0");
    }

    void pickerCancelled_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("source folder") << "CmdAddFolder"
                                       << "pickFolder: Choose Source Folder...";
        QTest::newRow("destination folder") << "CmdConvert2PDF"
                                            << "pickFolder: Choose Folder to Save...";
    }

    void pickerCancelled()
    {
        QFETCH(QString, button);
        QFETCH(QString, prompt);
        TestWindow test;
        const QStringList listed = makeFiles({"1.emlx"});
        listFiles(test, listed);

        test.click(qPrintable(button));
        QCOMPARE(test.prompts->asked, QStringList{prompt});
        QCOMPARE(test.rows(), listed);
        QCOMPARE(shownStep(test), "0 | Message 0 (of 0) | row -1");
        QVERIFY(!QFileInfo::exists(destination()));
    }

    void emptyListAsksNothing()
    {
        TestWindow test;
        listFiles(test, {"/Mail/1.emlx"});
        test.prompts->yesNo = {true};
        test.click("cmdClear1");
        test.prompts->forget();

        test.click("CmdConvert2PDF");
        QCOMPARE(test.prompts->asked,
                 QStringList{"inform: There is nothing to convert: the list holds no message files."});
    }

    void conversionRun_data()
    {
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<QString>("optionAfterFirst");
        QTest::addColumn<QStringList>("outputs");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("endBox");
        const QString completed = QStringLiteral("inform: Completed !");
        QTest::newRow("four messages, folders mirrored")
            << QStringList{"a/1.emlx", "a/b/2.emlx", "3.emlx", "Grüße/4.emlx"} << QStringList() << QString()
            << QStringList{"a/1.eml", "a/b/2.eml", "3.eml", "Grüße/4.eml"}
            << QStringList{"25 | Message 1 (of 4) | row 0", "50 | Message 2 (of 4) | row 1",
                           "75 | Message 3 (of 4) | row 2", "100 | Message 4 (of 4) | row 3"}
            << completed;
        QTest::newRow("scheme changed during the run")
            << QStringList{"1.emlx", "2.emlx"} << QStringList() << "OptSD"
            << QStringList{"1.eml", "Hello 06-08-2011.eml"}
            << QStringList{"50 | Message 1 (of 2) | row 0", "100 | Message 2 (of 2) | row 1"} << completed;
        QTest::newRow("a failed message is reported")
            << QStringList{"1.emlx", "gone.emlx", "3.emlx"} << QStringList{"gone.emlx"} << QString()
            << QStringList{"1.eml", "3.eml"}
            << QStringList{"33 | Message 1 (of 3) | row 0", "67 | Message 2 (of 3) | row 1",
                           "100 | Message 3 (of 3) | row 2"}
            << "warn: Completed, but 1 of 3 messages could not be converted.\n"
               "The details name each of them with the reason.";
    }

    void conversionRun()
    {
        QFETCH(QStringList, sources);
        QFETCH(QStringList, missing);
        QFETCH(QString, optionAfterFirst);
        QFETCH(QStringList, outputs);
        QFETCH(QStringList, steps);
        QFETCH(QString, endBox);
        TestWindow test;
        listFiles(test, makeFiles(sources, missing));
        test.prompts->folders = {destination()};
        QStringList shown;
        connect(test.get<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged, this, [&] {
            shown.append(shownStep(test));
            if (!optionAfterFirst.isEmpty())
                test.click(qPrintable(optionAfterFirst));
        });

        test.click("CmdConvert2PDF");
        QCOMPARE(shown, steps);
        QCOMPARE(test.prompts->asked, QStringList({"pickFolder: Choose Folder to Save...", endBox}));
        for (const QString &gone : missing)
            QVERIFY(test.prompts->details.constLast().contains(source() + u'/' + gone));
        QStringList written;
        for (const QString &relative : outputs) {
            written.append(output(relative));
            QCOMPARE(TestFiles::read(written.constLast()), message);
        }
        written.sort();
        QCOMPARE(TestFiles::filesBelow(destination()), written);
    }

    void stopWhenClosed_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("written");
        QTest::addColumn<QString>("endBox");
        QTest::newRow("close box") << true << false << 2 << QString();
        QTest::newRow("Exit, Yes") << false << true << 2 << QString();
        QTest::newRow("Exit, No") << false << false << 5 << "inform: Completed !";
    }

    void stopWhenClosed()
    {
        QFETCH(bool, closeBox);
        QFETCH(bool, answer);
        QFETCH(int, written);
        QFETCH(QString, endBox);
        TestWindow test;
        listFiles(test, makeFiles({"1.emlx", "2.emlx", "3.emlx", "4.emlx", "5.emlx"}));
        test.prompts->folders = {destination()};
        test.prompts->yesNo = {answer};
        QProgressBar *bar = test.get<QProgressBar>("ProgressBar1");
        connect(bar, &QProgressBar::valueChanged, this, [&](int value) {
            if (value != 40)
                return;
            if (closeBox)
                test.window->close();
            else
                test.click("cmdEnd");
        });

        test.click("CmdConvert2PDF");
        QCOMPARE(TestFiles::filesBelow(destination()).size(), written);
        if (!endBox.isEmpty())
            QCOMPARE(test.prompts->asked.constLast(), endBox);
        QCOMPARE(test.prompts->asked.filter(QStringLiteral("Completed")).size(), endBox.isEmpty() ? 0 : 1);
        QCOMPARE(bar->value(), written * 20);
    }
};

QTEST_MAIN(TestWindowRun)
#include "tst_windowrun.moc"
