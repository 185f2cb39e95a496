#include "PathHelpers.h"
#include "TestFiles.h"
#include "WindowTesting.h"

#include <QProgressBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

namespace {

const QByteArray message = TestFiles::mail("Hello");

// One step of a run as the window showed it: bar value, label, current row of the grid.
QString shownStep(const TestWindow &test)
{
    return QStringLiteral("%1 | %2 | row %3")
        .arg(test.get<QProgressBar>("ProgressBar1")->value())
        .arg(test.text("LblProgessCurrent"))
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
    // The paths of the files below the source folder; all but those `left` are written.
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

private Q_SLOTS:
    void initTestCase() { QGuiApplication::setQuitOnLastWindowClosed(false); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    // Which files a scan finds is the walker's business; here: how the window lists them.
    void folderScan_data()
    {
        QTest::addColumn<QStringList>("earlier");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<bool>("convertEnabled");
        const QStringList tree{"b.emlx", "c.eml", "A/a.emlx"};
        QTest::newRow("appends to earlier rows")
            << QStringList{"/Old/1.emlx", "/Old/2.emlx"} << tree << QStringList{"b.emlx", "A/a.emlx"} << true;
        QTest::newRow("nothing found, empty list") << QStringList() << QStringList{"c.eml"} << QStringList() << false;
        QTest::newRow("nothing found, earlier rows")
            << QStringList{"/Old/1.emlx"} << QStringList{"c.eml"} << QStringList() << true;
    }
    void folderScan()
    {
        QFETCH(QStringList, earlier);
        QFETCH(QStringList, tree);
        QFETCH(QStringList, added);
        makeFiles(tree);
        TestWindow test;
        test.list(earlier);
        test.prompts->folders = {source()};

        test.click("CmdAddFolder");
        const QStringList rows = earlier + makeFiles(added, added);
        QCOMPARE(test.rows(), rows.isEmpty() ? QStringList{QString()} : rows);
        QCOMPARE(test.text("lblCount1"), QStringLiteral("%1 files").arg(rows.size()));
        // The box comes after the busy cursor is gone.
        QCOMPARE(test.prompts->asked, QStringList({"pickFolder: Choose Source Folder...",
                                                   QStringLiteral("tell: %1 Files Added to List.").arg(added.size())}));
        QVERIFY(!QGuiApplication::overrideCursor());
        QTEST(test.get("CmdConvert2PDF")->isEnabled(), "convertEnabled");
    }

    // A file whose name Qt cannot hold is named in the count box, not lost without a word.
    void scanNamesWhatItLeftOut()
    {
        makeFiles({"ok.emlx"});
        const TestFiles::RawNamedFile unusable(source(), "caf\xe9.emlx");
        QVERIFY(unusable.made);
        TestWindow test;
        test.prompts->folders = {source()};
        test.click("CmdAddFolder");
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
                                     << QString("add 0, folder 0, clear 0, convert 0, exit 1, busy 1");
        QTest::newRow("conversion run") << "CmdConvert2PDF"
                                        << QString("add 0, folder 0, clear 0, convert 0, exit 1, busy 0");
    }
    void busyWhileWorking()
    {
        QFETCH(QString, button);
        TestWindow test;
        test.list(makeFiles({"1.emlx"}));
        test.prompts->folders = {button == "CmdAddFolder" ? source() : destination()};
        const auto states = [&test] {
            return QStringLiteral("add %1, folder %2, clear %3, convert %4, exit %5, busy %6")
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
        QTEST(during, "busy");
        QCOMPARE(states(), "add 1, folder 1, clear 1, convert 1, exit 1, busy 0");
    }

    void pickerCancelled_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("source folder") << "CmdAddFolder" << QString("pickFolder: Choose Source Folder...");
        QTest::newRow("destination folder") << "CmdConvert2PDF" << QString("pickFolder: Choose Folder to Save...");
    }
    void pickerCancelled()
    {
        QFETCH(QString, button);
        QFETCH(QString, prompt);
        TestWindow test;
        const QStringList listed = makeFiles({"1.emlx"});
        test.list(listed);

        test.click(qPrintable(button));
        QCOMPARE(test.prompts->asked, QStringList{prompt});
        QCOMPARE(test.rows(), listed);
        QCOMPARE(shownStep(test), "0 | Message 0 (of 0) | row -1");
        QVERIFY(!QFileInfo::exists(destination()));
    }

    void emptyListAsksNothing()
    {
        TestWindow test;
        test.list({"/Mail/1.emlx"});
        test.prompts->yesNo = {true};
        test.click("cmdClear1");
        test.prompts->asked.clear();

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
        QFETCH(QString, endBox);
        TestWindow test;
        test.list(makeFiles(sources, missing));
        test.prompts->folders = {destination()};
        QStringList shown;
        connect(test.get<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged, this, [&] {
            shown.append(shownStep(test));
            if (!optionAfterFirst.isEmpty())
                test.click(qPrintable(optionAfterFirst));
        });

        test.click("CmdConvert2PDF");
        QTEST(shown, "steps");
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
        test.list(makeFiles({"1.emlx", "2.emlx", "3.emlx", "4.emlx", "5.emlx"}));
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
        QCOMPARE(test.prompts->asked.filter(QStringLiteral("Completed")),
                 endBox.isEmpty() ? QStringList() : QStringList{endBox});
        QCOMPARE(bar->value(), written * 20);
    }
};

QTEST_MAIN(TestWindowRun)
#include "tst_windowrun.moc"
