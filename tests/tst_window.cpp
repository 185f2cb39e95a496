#include "TestFiles.h"
#include "WindowTesting.h"
#include "app/EventPump.h"
#include "convert/ConversionRun.h"
#include "platform/PathHelpers.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include <sys/stat.h>

namespace {

const QString exitQuestion = QStringLiteral("ask: Are you sure you want to exit now?");
const QByteArray message = TestFiles::mail("Hello");

// One step of a run as the window showed it: bar value, label, current row of the grid.
QString shownStep(const TestWindow &test)
{
    return QStringLiteral("%1 | %2 | row %3")
        .arg(test.get<QProgressBar>("ProgressBar1")->value())
        .arg(test.text("LblProgessCurrent"))
        .arg(test.get<QTableView>("grdFiles1")->currentIndex().row());
}

// Points the home folder, and with it Documents, at `home` while it lives.
struct ScopedHome {
    const QByteArray usualHome = qgetenv("HOME"), usualConfig = qgetenv("XDG_CONFIG_HOME");
    explicit ScopedHome(const QString &home)
    {
        qputenv("HOME", QFile::encodeName(home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    }
    ~ScopedHome()
    {
        qputenv("HOME", usualHome);
        qputenv("XDG_CONFIG_HOME", usualConfig);
    }
};

// Lets a run convert `jobs` messages at once while it lives.
struct ScopedJobs {
    const int usual = frmStep1::runJobs;
    explicit ScopedJobs(int jobs) { frmStep1::runJobs = jobs; }
    ~ScopedJobs() { frmStep1::runJobs = usual; }
};

// Lets the window's event loop turn at every step of a scan or run while it lives.
struct EveryStepTurns {
    const int usual = EventPump::intervalMs;
    EveryStepTurns() { EventPump::intervalMs = 0; }
    ~EveryStepTurns() { EventPump::intervalMs = usual; }
};

} // namespace

// The window frmStep1: its controls, its prompts, and what it does with files on disk.
class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString source() const { return m_dir->path() + QStringLiteral("/src"); }
    QString destination() const { return m_dir->path() + QStringLiteral("/out"); }
    // Where the run writes a message that lies at `relative` below the source folder.
    QString output(const QString &relative) const
    {
        return destination() + u'/' + dropPathRoot(source()) + u'/' + relative;
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

    // What a folder scan of the source folder showed: the list's count at each turn of the event
    // loop, and the window's state at the first turn (where `atFirstTurn`, if given, runs too).
    struct Scan {
        QStringList counts;
        QString during;
    };
    Scan scanSource(TestWindow &test, const QStringList &earlier, const std::function<void()> &atFirstTurn = {})
    {
        test.list(earlier);
        test.prompts->folders = {source()};
        Scan scan;
        QTimer::singleShot(0, test.window.get(), [&] { scan.during = test.state(); }); // runs at the first yield
        if (atFirstTurn)
            QTimer::singleShot(0, test.window.get(), atFirstTurn);
        const EveryStepTurns everyStep;
        QTimer atEachTurn;
        atEachTurn.setInterval(0);
        connect(&atEachTurn, &QTimer::timeout, this, [&] {
            if (scan.counts.isEmpty() || scan.counts.constLast() != test.text("lblCount1"))
                scan.counts.append(test.text("lblCount1"));
        });
        atEachTurn.start();
        test.click("CmdAddFolder");
        atEachTurn.stop();
        return scan;
    }
    // The list after a scan: these rows, their count, the newest one current, the focus back on
    // the button.
    void checkListedAfterScan(const TestWindow &test, const QStringList &rows)
    {
        QCOMPARE(test.files(), rows);
        QCOMPARE(test.text("lblCount1"), QStringLiteral("%1 files").arg(rows.size()));
        QCOMPARE(test.get<QTableView>("grdFiles1")->currentIndex().row(), qMax(0, rows.size() - 1));
        QCOMPARE(test.window->focusWidget(), test.get("CmdAddFolder"));
    }

    // Five listed messages, the destination picked and `answer` to the exit question; `leave`
    // runs when the bar reaches 40 % (the second message) or, without `run`, at once.
    struct Leaving {
        TestWindow test;
        QStringList listed;
    };
    void leave(Leaving &state, bool answer, bool run, const std::function<void(TestWindow &)> &how)
    {
        TestWindow &test = state.test;
        state.listed = makeFiles({"1.emlx", "2.emlx", "3.emlx", "4.emlx", "5.emlx"});
        test.list(state.listed);
        test.click("OptSD");
        test.prompts->folders = {destination()};
        test.prompts->yesNo = {answer};
        connect(test.get<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged, this, [&](int value) {
            if (value == 40)
                how(test);
        });
        if (run)
            test.click("CmdConvert2PDF");
        else
            how(test);
    }
    // After leaving: what was asked, whether the window stays, how many messages were written;
    // the list and the option stay.
    void checkLeft(const Leaving &state, const QStringList &asked, bool visible, int written)
    {
        const TestWindow &test = state.test;
        QCOMPARE(test.prompts->asked, asked);
        QCOMPARE(test.window->isVisible(), visible);
        QCOMPARE(TestFiles::filesBelow(destination()).size(), written);
        QCOMPARE(test.get<QProgressBar>("ProgressBar1")->value(), written * 20);
        QCOMPARE(test.files(), state.listed);
        QVERIFY(test.get<QRadioButton>("OptSD")->isChecked());
    }
    static void clickExit(TestWindow &test) { test.click("cmdEnd"); }
    static void closeWindow(TestWindow &test) { test.window->close(); }

    // With a 2 GB message (sparse: quick to make, seconds to copy) and a named pipe listed, leaves
    // `how` 300 ms into the run; the run must end within 200 ms and leave nothing written.
    void leaveDuringLargeCopy(const std::function<void(TestWindow &)> &how, int jobs)
    {
        const ScopedJobs scopedJobs(jobs);
        const QString pipe = source() + "/pipe.emlx", large = source() + "/large.emlx";
        QVERIFY(TestFiles::write(large, "Subject: large\n\n"));
        QVERIFY(QFile::resize(large, qint64(2) << 30));
        if (!TestFiles::makeNamedPipe(pipe))
            QSKIP(TestFiles::noNamedPipes);
        TestWindow test;
        test.prompts->folders = {source()};
        test.click("CmdAddFolder");
        QCOMPARE(test.files(), QStringList{large});
        QVERIFY2(test.prompts->asked.constLast().contains('"' + pipe + "\" is not a regular file (" +
                                                          TestFiles::specialKind("a named pipe") + ')'),
                 qPrintable(test.prompts->asked.constLast()));

        test.list({pipe, large});
        test.prompts->folders = {destination()};
        test.prompts->yesNo = {true};
        QElapsedTimer sinceLeaving;
        QTimer::singleShot(300, test.window.get(), [&] {
            sinceLeaving.start();
            how(test);
        });
        test.click("CmdConvert2PDF"); // returns when the run has ended
        QVERIFY(sinceLeaving.isValid());
        QVERIFY2(sinceLeaving.elapsed() < 200, qPrintable(QString::number(sinceLeaving.elapsed())));
        QVERIFY(!test.window->isVisible());
        QCOMPARE(TestFiles::filesBelow(destination()), QStringList());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QGuiApplication::setQuitOnLastWindowClosed(false);
        frmStep1::runJobs = 1; // runs go a message at a time, unless a test says otherwise
    }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void controls_data()
    {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        // Positions and sizes in twips, as the form was first drawn.
        auto row = [](const char *name, const char *container, const char *caption, int left, int top, int width,
                      int height) {
            QTest::newRow(name) << QString(container) << QString(caption)
                                << QRect(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0),
                                         qRound(height / 15.0));
        };
        const char *window = "frmStep1";
        row("lblTitle", window, "Vaskel EMLX to EML Converter", 240, 120, 6255, 375);
        row("cmdAdd", window, "Add EMLX File(s)...", 240, 960, 1815, 375);
        row("CmdAddFolder", window, "Add Folder having EMLX File(s)...", 2400, 960, 2775, 375);
        row("cmdClear1", window, "Clear File(s)...", 6240, 960, 1695, 375);
        row("lblCount1", window, "0 files", 270, 1560, 4335, 255);
        row("grdFiles1", window, "", 240, 1800, 7695, 1575);
        row("Label4", window, "Converting Messages...", 240, 3480, 2535, 255);
        row("Image1", window, "", 240, 3800, 330, 330);
        row("LblProgessCurrent", window, "Message 0 (of 0)", 720, 3840, 6255, 255);
        row("ProgressBar1", window, "", 240, 4200, 7695, 255);
        row("Frame1", window, " File Naming Options ", 240, 4560, 7695, 1455);
        row("Picture1", "Frame1", "", 120, 240, 7455, 1095);
        row("OptOriginal", "Picture1", "Use original file name", 0, 120, 3135, 255);
        row("OptSD", "Picture1", "subject + date (DD-MM-YYYY)", 0, 480, 3135, 255);
        row("OptFSD", "Picture1", "sender + subject + date (DD-MM-YYYY)", 0, 840, 3735, 255);
        row("OptDFS", "Picture1", "date (DD-MM-YYYY) + from + subject", 3840, 120, 3135, 255);
        row("OptDFS_YMD", "Picture1", "date (YYYY-MM-DD) + subject + from ", 3840, 480, 3135, 255);
        row("OptDFS_MYD", "Picture1", "date (MM-DD-YYYY) + subject + from", 3840, 840, 3375, 255);
        row("CmdConvert2PDF", window, "Convert &Messages to EML", 2640, 6120, 2535, 435);
        row("Shape1", window, "", 0, 6720, 8415, 855);
        row("Shape2", window, "", -120, 0, 8415, 855);
        row("Picture3", window, "", 240, 6840, 7695, 495);
        row("cmdEnd", "Picture3", "E&xit", 6360, 0, 1335, 375);
    }
    void controls()
    {
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        TestWindow test;
        const QWidget *control = test.get(QTest::currentDataTag());
        QTEST(control->parentWidget()->objectName(), "container");
        if (!caption.isEmpty())
            QCOMPARE(control->property(qobject_cast<const QGroupBox *>(control) ? "title" : "text").toString(),
                     caption);
        if (qobject_cast<const QRadioButton *>(control)) {
            // An option may grow to the right in a face wider than Tahoma, but never moves.
            QCOMPARE(control->pos(), geometry.topLeft());
            QCOMPARE(control->height(), geometry.height());
            QVERIFY(control->width() >= geometry.width());
        } else {
            QCOMPARE(control->geometry(), geometry);
        }
    }

    void startUpState()
    {
        TestWindow test;
        QCOMPARE(test.window->windowTitle(), "Vaskel EMLX to EML Converter");
        QCOMPARE(test.window->size(), QSize(543, 491));
        QCOMPARE(test.window->minimumSize(), test.window->maximumSize());
        QCOMPARE(test.files(), QStringList());
        const QProgressBar *bar = test.get<QProgressBar>("ProgressBar1");
        QCOMPARE(QList<int>({bar->minimum(), bar->maximum(), bar->value()}), QList<int>({0, 100, 0}));
        QVERIFY(test.get<QRadioButton>("OptOriginal")->isChecked());
        QCOMPARE(test.state(), "add 1, folder 1, clear 1, convert 0, exit 1, busy 0");
        QCOMPARE(QApplication::focusWidget(), test.get("cmdAdd"));
        // The naming frame's panel is the window's own colour, not a darker box below the caption.
        const QImage frame = test.get("Frame1")->grab().toImage();
        QCOMPARE(frame.pixelColor(frame.width() / 2, frame.height() - 4),
                 test.window->palette().color(QPalette::Window));
    }

    void tabOrder_data()
    {
        QTest::addColumn<bool>("withFiles");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("stops");
        const QStringList first{"cmdAdd", "cmdClear1", "CmdAddFolder", "grdFiles1"};
        QTest::newRow("at start") << false << QString() << first + QStringList{"cmdEnd", "OptOriginal", "cmdAdd"};
        QTest::newRow("convert enabled, another option selected")
            << true << "OptDFS_YMD" << first + QStringList{"CmdConvert2PDF", "cmdEnd", "OptDFS_YMD", "cmdAdd"};
    }
    void tabOrder()
    {
        QFETCH(bool, withFiles);
        QFETCH(QString, option);
        QFETCH(QStringList, stops);
        TestWindow test;
        if (withFiles)
            test.list({"/Mail/1.emlx"});
        if (!option.isEmpty())
            test.click(qPrintable(option));
        test.get("cmdAdd")->setFocus();

        QStringList visited{QApplication::focusWidget()->objectName()};
        while (visited.size() < stops.size()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(visited, stops);
    }

    void keys_data()
    {
        QTest::addColumn<bool>("withFiles");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QStringList>("asked");
        auto row = [](const char *name, bool withFiles, const char *focus, const char *keys, const QStringList &asked) {
            QTest::newRow(name) << withFiles << QString(focus) << QString(keys) << asked;
        };
        row("Alt+M at start", false, "cmdAdd", "Alt+M", {});
        row("Alt+M with files", true, "cmdAdd", "Alt+M", {"pickFolder: Choose Folder to Save..."});
        row("Alt+X", false, "cmdAdd", "Alt+X", {exitQuestion});
        row("Enter on Add", true, "cmdAdd", "Return", {});
        row("Enter on Convert", true, "CmdConvert2PDF", "Enter", {});
        row("Esc", true, "cmdEnd", "Esc", {});
    }
    void keys()
    {
        QFETCH(bool, withFiles);
        QFETCH(QString, focus);
        QFETCH(QString, keys);
        TestWindow test;
        if (withFiles)
            test.list({"/Mail/1.emlx"});
        test.get(qPrintable(focus))->setFocus();

        QTest::keySequence(QApplication::focusWidget(), QKeySequence(keys));
        QFETCH(QStringList, asked);
        QTest::qWait(300); // an access key presses its button with a short animation
        QTRY_COMPARE_WITH_TIMEOUT(test.prompts->asked, asked, 3000); // longer on a busy machine
    }

    // Add EMLX File(s) replaces the list with the files picked; Clear File(s) empties it on Yes;
    // a cancelled picker changes nothing.
    void editsTheList_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("picked");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<bool>("convertEnabled");
        QTest::addColumn<int>("currentRow"); // the newest entry after an append, row 0 after Clear
        const QStringList none, three{"/Mail/c.emlx", "/Mail/a.emlx", "/Mail/Grüße.emlx"};
        const QStringList old{"/Old/1.emlx", "/Old/2.emlx"}, twice{"/M/1.emlx", "/M/1.emlx"};
        const QStringList pick{"pickFiles: Mac Mail Messages (*.emlx)"};
        const QStringList ask{"ask: Do you want to clear all the files in the list\r\n Proceed?"};
        QTest::newRow("add in the dialog's order") << none << "cmdAdd" << three << false << pick << three << true << 2;
        QTest::newRow("add duplicates") << none << "cmdAdd" << twice << false << pick << twice << true << 1;
        QTest::newRow("add replaces the earlier list")
            << old << "cmdAdd" << three << false << pick << three << true << 2;
        QTest::newRow("add cancelled keeps the list") << old << "cmdAdd" << none << false << pick << old << true << 1;
        QTest::newRow("add cancelled on the empty list")
            << none << "cmdAdd" << none << false << pick << none << false << 0;
        QTest::newRow("clear the empty list") << none << "cmdClear1" << none << true << none << none << false << 0;
        QTest::newRow("clear, No keeps every row") << old << "cmdClear1" << none << false << ask << old << true << 0;
        // Clearing never disables Convert.
        QTest::newRow("clear, Yes empties the list") << old << "cmdClear1" << none << true << ask << none << true << 0;
        QTest::newRow("source folder picker cancelled")
            << old << "CmdAddFolder" << none << false << QStringList{"pickFolder: Choose Source Folder..."} << old
            << true << 1;
        QTest::newRow("destination picker cancelled")
            << old << "CmdConvert2PDF" << none << false << QStringList{"pickFolder: Choose Folder to Save..."} << old
            << true << 1;
    }
    void editsTheList()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, button);
        QFETCH(QStringList, picked);
        QFETCH(bool, answer);
        QFETCH(QStringList, after);
        TestWindow test;
        test.list(before);
        test.prompts->files = {picked};
        test.prompts->yesNo = {answer};

        test.click(qPrintable(button));
        QTEST(test.prompts->asked, "asked");
        QCOMPARE(test.files(), after);
        QCOMPARE(test.text("lblCount1"), QStringLiteral("%1 files").arg(after.size()));
        QTEST(test.get("CmdConvert2PDF")->isEnabled(), "convertEnabled");
        QTEST(test.get<QTableView>("grdFiles1")->currentIndex().row(), "currentRow");
    }

    // Which files a scan finds is the walker's business; here: how the window lists them.
    void folderScan_data()
    {
        QTest::addColumn<QStringList>("earlier");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<bool>("convertEnabled");
        QTest::addColumn<QStringList>("counts"); // the count at the event loop's turns during the scan
        const QStringList none, tree{"b.emlx", "c.eml", "A/a.emlx"}, found{"b.emlx", "A/a.emlx"}, old{"/Old/1.emlx"};
        // Until the first file is found, the folders found so far.
        QTest::newRow("appends to earlier rows")
            << old << tree << found << true << QStringList{"Scanning…", "Scanning… 2 folders", "2 files", "3 files"};
        QTest::newRow("nothing found, empty list")
            << none << QStringList{"c.eml"} << none << false << QStringList{"Scanning…", "Scanning… 1 folder"};
        QTest::newRow("nothing found, earlier rows")
            << old << QStringList{"c.eml"} << none << true << QStringList{"Scanning…", "Scanning… 1 folder"};
    }
    void folderScan()
    {
        QFETCH(QStringList, earlier);
        QFETCH(QStringList, tree);
        QFETCH(QStringList, added);
        QFETCH(bool, convertEnabled);
        makeFiles(tree);
        TestWindow test;
        const Scan scan = scanSource(test, earlier);
        QTEST(scan.counts, "counts");
        QCOMPARE(scan.during, "add 0, folder 0, clear 0, convert 0, exit 1, busy 1");
        QCOMPARE(test.state(),
                 QStringLiteral("add 1, folder 1, clear 1, convert %1, exit 1, busy 0").arg(convertEnabled));
        checkListedAfterScan(test, earlier + makeFiles(added, added));
        QCOMPARE(test.prompts->asked, QStringList({"pickFolder: Choose Source Folder...",
                                                   QStringLiteral("tell: %1 Files Added to List.").arg(added.size())}));
    }

    // A message file whose name Qt cannot hold is left out of the scan and named in its box.
    void folderScanNamesAnUnusableName()
    {
        const QStringList found{"b.emlx", "A/a.emlx"};
        makeFiles({"b.emlx", "c.eml", "A/a.emlx"});
#ifdef Q_OS_WIN
        QSKIP(TestFiles::namesAreUtf16);
#endif
        const TestFiles::RawNamedFile unusable(source(), "caf\xe9.emlx");
        QVERIFY(unusable.made);
        TestWindow test;
        const Scan scan = scanSource(test, {});
        QCOMPARE(scan.counts, QStringList({"Scanning…", "Scanning… 2 folders", "1 files", "2 files"}));
        QCOMPARE(scan.during, "add 0, folder 0, clear 0, convert 0, exit 1, busy 1");
        QCOMPARE(test.state(), "add 1, folder 1, clear 1, convert 1, exit 1, busy 0");
        checkListedAfterScan(test, makeFiles(found, found));
        QCOMPARE(test.prompts->asked,
                 QStringList({"pickFolder: Choose Source Folder...",
                              "tell: 2 Files Added to List.\n\nLeft out:\ncannot convert \"" + source() +
                                  "/caf\\xE9.emlx\": its name is not valid UTF-8; rename the file and add it again"}));
    }

    // Closing the window ends a scan at once, before any row is listed and without a box.
    void closingTheWindowEndsAFolderScan()
    {
        makeFiles({"b.emlx", "c.eml", "A/a.emlx"});
        TestWindow test;
        const Scan scan = scanSource(test, {}, [&] { test.window->close(); });
        QCOMPARE(scan.counts, QStringList{"Scanning…"});
        QCOMPARE(scan.during, "add 0, folder 0, clear 0, convert 0, exit 1, busy 1");
        QCOMPARE(test.state(), "add 1, folder 1, clear 1, convert 0, exit 1, busy 0");
        checkListedAfterScan(test, {});
        QCOMPARE(test.prompts->asked, QStringList{"pickFolder: Choose Source Folder..."});
    }

    void emptiedListAsksNothing()
    {
        TestWindow test;
        test.list({"/Mail/1.emlx"});
        test.prompts->yesNo = {true};
        test.click("cmdClear1");
        test.prompts->asked.clear();

        test.click("CmdConvert2PDF");
        QCOMPARE(test.prompts->asked,
                 QStringList{"inform: There is nothing to convert: the list holds no message files."});
        QCOMPARE(shownStep(test), "0 | Message 0 (of 0) | row 0");
    }

    void conversionRun_data()
    {
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QStringList>("missing"); // not written; "a" is the folder of a written one
        QTest::addColumn<QString>("optionAfterFirst");
        QTest::addColumn<QString>("refused"); // a destination picked first and refused; empty: none
        QTest::addColumn<QStringList>("outputs");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("endBox");
        // SRC stands for the source folder, OUT for the destination, MIRROR for the source
        // folder's mirror below it.
        QTest::addColumn<QString>("details");
        QTest::addColumn<int>("jobs"); // with more than one, the steps shown end as the last one here
        const QString partly = "warn: Completed, but %1 of %2 messages could not be converted.\n"
                               "The details name each of them with the reason.\n\n";
        QTest::newRow("four messages, folders mirrored")
            << QStringList{"a/1.emlx", "a/b/2.emlx", "3.emlx", "Grüße/4.emlx"} << QStringList() << QString()
            << QString() << QStringList{"a/1.eml", "a/b/2.eml", "3.eml", "Grüße/4.eml"}
            << QStringList{"25 | Message 1 (of 4) | row 0", "50 | Message 2 (of 4) | row 1",
                           "75 | Message 3 (of 4) | row 2", "100 | Message 4 (of 4) | row 3"}
            << "inform: Completed !\n\n4 messages written below OUT" << QString() << 1;
        QTest::newRow("a failed message reported, the scheme changed during the run")
            << QStringList{"1.emlx", "gone.emlx", "3.emlx"} << QStringList{"gone.emlx"} << "OptSD" << QString()
            << QStringList{"1.eml", "Hello 06-08-2011.eml"}
            << QStringList{"33 | Message 1 (of 3) | row 0", "67 | Message 2 (of 3) | row 1",
                           "100 | Message 3 (of 3) | row 2"}
            << partly.arg(1).arg(3) + "2 messages written below OUT"
            << "Not converted, by reason:\n"
               "1 × gone, or a link that leads nowhere\n"
               "    e.g. SRC/gone.emlx\n\n"
               "Not converted:\n"
               "source file \"SRC/gone.emlx\" is gone"
            << 1;
        const auto failuresRow = [&](const char *name, int jobs) {
            QTest::newRow(name) << QStringList{"a/1.emlx", "a", "2.emlx", "3.emlx", "4.emlx", "5.emlx"}
                                << QStringList{"a", "2.emlx", "3.emlx", "4.emlx", "5.emlx"} << QString() << QString()
                                << QStringList{"a/1.eml"}
                                << QStringList{"17 | Message 1 (of 6) | row 0", "33 | Message 2 (of 6) | row 1",
                                               "50 | Message 3 (of 6) | row 2", "67 | Message 4 (of 6) | row 3",
                                               "83 | Message 5 (of 6) | row 4", "100 | Message 6 (of 6) | row 5"}
                                << partly.arg(5).arg(6) + "1 message written below OUT"
                                << "Not converted, by reason:\n"
                                   "4 × gone, or a link that leads nowhere\n"
                                   "    e.g. SRC/2.emlx, SRC/3.emlx, SRC/4.emlx and 1 more\n"
                                   "1 × not a regular file: never read\n"
                                   "    e.g. SRC/a\n\n"
                                   "Not converted:\n"
                                   "\"SRC/a\" is not a regular file (a folder)\n"
                                   "source file \"SRC/2.emlx\" is gone\n"
                                   "source file \"SRC/3.emlx\" is gone\n"
                                   "source file \"SRC/4.emlx\" is gone\n"
                                   "source file \"SRC/5.emlx\" is gone"
                                << jobs;
        };
        failuresRow("failures grouped by reason, the most frequent first", 1);
        QTest::newRow("folders named like outputs kept apart, with a warning")
            << QStringList{"box.eml/1.emlx", "box.emlx/1.emlx"} << QStringList() << QString() << QString()
            << QStringList{"box.eml/1.eml", "box.eml (2)/1.eml"}
            << QStringList{"50 | Message 1 (of 2) | row 0", "100 | Message 2 (of 2) | row 1"}
            << "inform: Completed ! 1 warning\n\n2 messages written below OUT"
            << "Warnings, by reason:\n"
               "1 × a folder whose output folder another took: numbered\n"
               "    e.g. SRC/box.emlx/1.emlx\n\n"
               "Warnings:\n"
               "\"SRC/box.emlx/1.emlx\": its folder and the folder \"SRC/box.eml\" would both be written to "
               "\"MIRROR/box.eml\"; it goes into \"MIRROR/box.eml (2)\" instead"
            << 1;
        QTest::newRow("the root refused: its mirror is the source folder")
            << QStringList{"1.emlx"} << QStringList() << QString() << "ROOT" << QStringList{"1.eml"}
            << QStringList{"100 | Message 1 (of 1) | row 0"} << "inform: Completed !\n\n1 message written below OUT"
            << QString() << 1;
        failuresRow("two jobs: failures grouped by reason, the most frequent first", 2);
    }
    void conversionRun()
    {
        QFETCH(QStringList, sources);
        QFETCH(QStringList, missing);
        QFETCH(QString, optionAfterFirst);
        QFETCH(QString, refused);
        QFETCH(QStringList, outputs);
        QFETCH(QString, endBox);
        QFETCH(QString, details);
        QFETCH(int, jobs);
        const ScopedJobs scopedJobs(jobs);
        TestWindow test;
        test.list(makeFiles(sources, missing));
        test.prompts->folders = {destination()};
        const QString pick = "pickFolder: Choose Folder to Save...";
        QStringList asked{pick};
        if (!refused.isEmpty()) {
            refused.replace("ROOT", source().left(source().indexOf(u'/') + 1)); // "/", or the drive's "C:/"
            test.prompts->folders.prepend(refused);
            asked << QDir::toNativeSeparators("warn: The destination \"" + refused +
                                              "\" would put outputs beside the messages being converted, in \"" +
                                              source() + "\"; choose another folder.")
                  << pick;
        }
        asked << endBox.replace("OUT", QDir::toNativeSeparators(destination()));
        QStringList shown;
        QString during;
        const auto recording = connect(test.get<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged, this, [&] {
            shown.append(shownStep(test));
            during = test.state();
            if (!optionAfterFirst.isEmpty())
                test.click(qPrintable(optionAfterFirst));
        });
        test.get("CmdConvert2PDF")->setFocus();

        test.click("CmdConvert2PDF");
        QCOMPARE(during, "add 0, folder 0, clear 0, convert 0, exit 1, busy 0");
        QCOMPARE(test.state(), "add 1, folder 1, clear 1, convert 1, exit 1, busy 0");
        QCOMPARE(test.window->focusWidget(), test.get("CmdConvert2PDF")); // not Exit, where disabling put it
        QFETCH(QStringList, steps);
        if (jobs == 1)
            QCOMPARE(shown, steps);
        else // the window shows the run's count when it looks; the end it always shows
            QCOMPARE(shown.constLast(), steps.constLast());
        QCOMPARE(test.prompts->asked, asked);
        QCOMPARE(test.prompts->details.constLast(),
                 QDir::toNativeSeparators(details.replace("MIRROR", output("").chopped(1))
                                              .replace("SRC", source())
                                              .replace("OUT", destination())));
        QStringList written;
        for (const QString &relative : outputs) {
            written.append(output(relative));
            QCOMPARE(TestFiles::read(written.constLast()), message);
        }
        written.sort();
        QCOMPARE(TestFiles::filesBelow(destination()), written);

        // The next run starts from an empty bar, before its picker opens.
        disconnect(recording);
        test.click("CmdConvert2PDF");
        QCOMPARE(shownStep(test), QStringLiteral("0 | Message 0 (of 0) | row %1").arg(sources.size() - 1));
    }

    // Every scheme of the table has its option, and a run with it selected names the message
    // as the core plans it under that scheme.
    void everySchemeHasItsOption()
    {
        const QStringList listed = makeFiles({"1.emlx"});
        for (const NamingSchemeRow &scheme : namingSchemes) {
            const QString folder = destination() + u'/' + scheme.name;
            const RunReport planned = convertAll(listed, {folder, scheme.scheme, true});
            QCOMPARE(planned.outputs.size(), 1);
            TestWindow test;
            test.list(listed);
            test.prompts->folders = {folder};
            auto *option = test.window->findChild<QRadioButton *>(scheme.option);
            QVERIFY2(option, scheme.option.data());
            option->click();
            test.click("CmdConvert2PDF");
            QCOMPARE(TestFiles::filesBelow(folder), QStringList{planned.outputs[0].target});
        }
    }

    // Where the folder pickers open: a source picker at the last source, the destination picker at
    // the last destination, else Documents or home, else the temporary folder; never at the root,
    // never in a folder that holds a listed message. "~" is the home folder, SRC the folder of the
    // files picked first, TMP the temporary folder.
    void pickerStartFolders_data()
    {
        QTest::addColumn<QString>("scanned");           // a source folder scanned first; empty: none
        QTest::addColumn<QStringList>("messages");      // message files below home, found by that scan
        QTest::addColumn<QString>("destinationBefore"); // chosen for an earlier run; empty: none
        QTest::addColumn<QStringList>("startFolders");  // the destination picker's, then the source picker's
        QTest::newRow("files picked only") << "" << QStringList() << "" << QStringList{"~/Documents", "SRC"};
        QTest::newRow("after a scan") << "~/Mail" << QStringList{"Mail/Inbox/1.emlx"} << ""
                                      << QStringList{"~/Documents", "~/Mail"};
        QTest::newRow("Documents scanned, messages in it")
            << "~/Documents" << QStringList{"Documents/1.emlx"} << "" << QStringList{"~", "~/Documents"};
        QTest::newRow("home scanned") << "~" << QStringList{"Mail/Inbox/1.emlx"} << ""
                                      << QStringList{"~/Documents", "~"};
        QTest::newRow("home scanned, messages in home and in Documents")
            << "~" << QStringList{"1.emlx", "Documents/2.emlx"} << "" << QStringList{"TMP", "~"};
        QTest::newRow("a destination chosen before")
            << "~/Mail" << QStringList{"Mail/Inbox/1.emlx"} << "~/Out" << QStringList{"~/Out", "~/Mail"};
        QTest::newRow("a destination that became a source")
            << "~/Documents/Out" << QStringList{"Documents/Out/1.emlx"} << "~/Documents/Out"
            << QStringList{"~/Documents", "~/Documents/Out"};
    }
    void pickerStartFolders()
    {
        QFETCH(QString, scanned);
        QFETCH(QStringList, messages);
        QFETCH(QString, destinationBefore);
        QFETCH(QStringList, startFolders);
#ifdef Q_OS_WIN
        QSKIP("Windows takes the home and Documents folders from the user's profile, not from HOME");
#endif
        const QString home = m_dir->path() + QStringLiteral("/home");
        const ScopedHome scopedHome(home);
        for (const QString &folder : {"/Documents", "/Mail", "/Out", "/Documents/Out"})
            QVERIFY(QDir().mkpath(home + folder));
        const auto atHome = [&](QString path) {
            return path.replace(QRegularExpression("^~"), home)
                .replace("SRC", source())
                .replace("TMP", QDir::cleanPath(QDir::tempPath()));
        };
        TestWindow test;
        // A run to the earlier destination; then the scan, and both pickers once more, cancelled.
        test.list(makeFiles({"1.emlx"}));
        test.prompts->folders = {atHome(destinationBefore), atHome(scanned)};
        test.click("CmdConvert2PDF");
        for (const QString &message : messages)
            QVERIFY(TestFiles::write(home + u'/' + message, TestFiles::emlx(TestFiles::mail("Hello"))));
        test.click("CmdAddFolder");
        test.prompts->startFolders.clear();

        test.click("CmdConvert2PDF");
        test.click("CmdAddFolder");
        for (QString &folder : startFolders)
            folder = atHome(folder);
        QCOMPARE(test.prompts->startFolders, startFolders);
    }

    // "Save List..." of the end box writes the box's text and the full list where the user
    // chooses, with the mode the umask gives; cancelled, it writes nothing. "Open Folder" shows
    // the destination.
    void endBoxButtons_data()
    {
        QTest::addColumn<QString>("chosen");         // below the test folder; empty: cancelled
        QTest::addColumn<bool>("openFolder");        // "Open Folder" pressed after "Save List..."
        QTest::addColumn<QStringList>("written");    // files below the test folder's "saved"
        QTest::addColumn<QStringList>("askedAfter"); // after the save dialog; OUT: the destination
        const QString notSaved = "warn: The list was not saved: cannot write \"%1\": <no such folder>";
        QTest::newRow("saved where chosen")
            << "saved/list.txt" << false << QStringList{"saved/list.txt"} << QStringList();
        QTest::newRow("cancelled") << "" << false << QStringList() << QStringList();
        QTest::newRow("a folder that is not there")
            << "saved/gone/list.txt" << false << QStringList() << QStringList{notSaved.arg("saved/gone/list.txt")};
        QTest::newRow("Open Folder shows the destination")
            << "" << true << QStringList() << QStringList{"showFolder: OUT"};
    }
    void endBoxButtons()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, openFolder);
        QFETCH(QStringList, written);
        QFETCH(QStringList, askedAfter);
        const QString saved = m_dir->path() + QStringLiteral("/saved");
        QVERIFY(QDir().mkpath(saved));
        TestWindow test;
        test.list(makeFiles({"1.emlx", "gone.emlx"}, {"gone.emlx"}));
        test.prompts->folders = {destination()};
        test.prompts->savePaths = {chosen.isEmpty() ? QString() : m_dir->path() + u'/' + chosen};
        test.prompts->pressOpenFolder = openFolder;

#ifdef Q_OS_UNIX
        const mode_t usualMask = umask(022);
#endif
        test.click("CmdConvert2PDF");
#ifdef Q_OS_UNIX
        umask(usualMask);
#endif
        const QString box = "Completed, but 1 of 2 messages could not be converted.\n"
                            "The details name each of them with the reason.\n\n"
                            "1 message written below " +
                            QDir::toNativeSeparators(destination());
        QFile inMissingFolder(saved + "/gone/list.txt");
        QVERIFY(!inMissingFolder.open(QIODevice::WriteOnly)); // the system's own words for it
        for (QString &line : askedAfter) {
            line.replace("saved/gone/list.txt", QDir::toNativeSeparators(saved + "/gone/list.txt"));
            line.replace("<no such folder>", inMissingFolder.errorString());
            line.replace("OUT", destination());
        }
        QCOMPARE(test.prompts->asked, QStringList({"pickFolder: Choose Folder to Save...", "warn: " + box,
                                                   "pickSaveFile: Save the List As..."}) +
                                          askedAfter);
        QCOMPARE(test.prompts->startFolders.constLast(), destination() + "/Conversion report.txt");
        for (QString &file : written)
            file = m_dir->path() + u'/' + file;
        QCOMPARE(TestFiles::filesBelow(saved), written);
        for (const QString &file : written) {
            QCOMPARE(TestFiles::read(file), (box + "\n\nNot converted:\nsource file \"" +
                                             QDir::toNativeSeparators(source() + "/gone.emlx") + "\" is gone\n")
                                                .toUtf8());
#ifdef Q_OS_UNIX // Windows files have no permission bits
            struct stat status = {};
            QCOMPARE(stat(QFile::encodeName(file).constData(), &status), 0);
            QCOMPARE(status.st_mode & 0777, mode_t(0644));
#endif
        }
    }

    // Exit asks first; Yes closes the window, No keeps it.
    void exitAsksFirst_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("Yes") << true;
        QTest::newRow("No") << false;
    }
    void exitAsksFirst()
    {
        QFETCH(bool, answer);
        Leaving state;
        leave(state, answer, false, clickExit);
        checkLeft(state, {exitQuestion}, !answer, 0);
    }

    void closeBoxAsksNothing()
    {
        Leaving state;
        leave(state, false, false, closeWindow);
        checkLeft(state, {}, false, 0);
    }

    // Exit during a run: Yes ends the run after the message in hand, No lets it complete.
    void exitDuringRun_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("written");
        QTest::addColumn<QStringList>("asked");
        const QString save = QStringLiteral("pickFolder: Choose Folder to Save...");
        QTest::newRow("Yes") << true << 2 << QStringList{save, exitQuestion};
        QTest::newRow("No") << false << 5
                            << QStringList{save, exitQuestion, "inform: Completed !\n\n5 messages written below OUT"};
    }
    void exitDuringRun()
    {
        QFETCH(bool, answer);
        QFETCH(int, written);
        QFETCH(QStringList, asked);
        asked.replaceInStrings("OUT", QDir::toNativeSeparators(destination()));
        Leaving state;
        leave(state, answer, true, clickExit);
        checkLeft(state, asked, !answer, written);
    }

    // The close box during a run ends it after the message in hand, without a question.
    void closeBoxDuringRun()
    {
        Leaving state;
        leave(state, false, true, closeWindow);
        checkLeft(state, {"pickFolder: Choose Folder to Save..."}, false, 2);
    }

    // Files named on the command line fill the list as picked files do, without a dialog.
    void opensFilesGivenAtStart()
    {
        TestWindow test;
        const QStringList first{"/Mail/1.emlx"}, then{"/Mail/a.emlx", "/Mail/Grüße.emlx"};
        test.window->openFiles(first);
        QCOMPARE(test.state(), "add 1, folder 1, clear 1, convert 1, exit 1, busy 0");
        test.window->openFiles(then);
        QCOMPARE(test.files(), then);
        QCOMPARE(test.text("lblCount1"), "2 files");
        QCOMPARE(test.prompts->asked, QStringList());
    }

    // A named pipe is left out of a scan by name and never blocks a run; while a large message is
    // copied, Exit and the close box end the run within 200 ms, leaving nothing half written, on
    // the window's thread or on threads of the run's own.
    void leaveWhileLargeMessageIsCopied_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<int>("jobs");
        QTest::newRow("Exit, one job") << false << 1;
        QTest::newRow("close box, one job") << true << 1;
        QTest::newRow("Exit, two jobs") << false << 2;
        QTest::newRow("close box, two jobs") << true << 2;
    }
    void leaveWhileLargeMessageIsCopied()
    {
        QFETCH(bool, closeBox);
        QFETCH(int, jobs);
        leaveDuringLargeCopy(closeBox ? closeWindow : clickExit, jobs);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_window.moc"
