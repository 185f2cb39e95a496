#include "WindowTesting.h"

#include <QApplication>
#include <QGroupBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QTableView>

namespace {

const QString exitQuestion = QStringLiteral("ask: Are you sure you want to exit now?");

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QGuiApplication::setQuitOnLastWindowClosed(false); }

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
        QCOMPARE(test.rows(), QStringList{QString()});
        QCOMPARE(test.get<QTableView>("grdFiles1")->columnWidth(0), 1000);
        const QProgressBar *bar = test.get<QProgressBar>("ProgressBar1");
        QCOMPARE(QList<int>({bar->minimum(), bar->maximum(), bar->value()}), QList<int>({0, 100, 0}));
        QVERIFY(test.get<QRadioButton>("OptOriginal")->isChecked());
        for (const char *name : {"cmdAdd", "CmdAddFolder", "cmdClear1", "cmdEnd"})
            QVERIFY2(test.get(name)->isEnabled(), name);
        QVERIFY(!test.get("CmdConvert2PDF")->isEnabled());
        QCOMPARE(QApplication::focusWidget(), test.get("cmdAdd"));

        QCOMPARE(test.get("cmdAdd")->font().pointSizeF(), 8.25);
        QVERIFY(!test.get("OptSD")->font().bold());
        QVERIFY(test.get("OptOriginal")->font().bold());
        QCOMPARE(test.get("lblTitle")->font().pointSizeF(), 14.25);
        QVERIFY(test.get("lblTitle")->font().bold());
        QCOMPARE(test.get("OptDFS_YMD")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    }

    void tabOrder_data()
    {
        QTest::addColumn<bool>("withFiles");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("stops");
        const QStringList first{"cmdAdd", "cmdClear1", "CmdAddFolder", "grdFiles1"};
        QTest::newRow("at start") << false << QString() << first + QStringList{"cmdEnd", "OptOriginal", "cmdAdd"};
        QTest::newRow("convert enabled") << true << QString()
                                         << first + QStringList{"CmdConvert2PDF", "cmdEnd", "OptOriginal", "cmdAdd"};
        QTest::newRow("another option selected")
            << false << "OptDFS_YMD" << first + QStringList{"cmdEnd", "OptDFS_YMD", "cmdAdd"};
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
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QStringList>("asked");
        const int alt = Qt::AltModifier;
        QTest::newRow("Alt+M at start") << false << "cmdAdd" << int(Qt::Key_M) << alt << QStringList();
        QTest::newRow("Alt+M with files")
            << true << "cmdAdd" << int(Qt::Key_M) << alt << QStringList{"pickFolder: Choose Folder to Save..."};
        QTest::newRow("Alt+X") << false << "cmdAdd" << int(Qt::Key_X) << alt << QStringList{exitQuestion};
        QTest::newRow("Enter on Add") << true << "cmdAdd" << int(Qt::Key_Return) << 0 << QStringList();
        QTest::newRow("Enter on Convert") << true << "CmdConvert2PDF" << int(Qt::Key_Enter) << 0 << QStringList();
        QTest::newRow("Esc") << true << "cmdEnd" << int(Qt::Key_Escape) << 0 << QStringList();
    }
    void keys()
    {
        QFETCH(bool, withFiles);
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        TestWindow test;
        if (withFiles)
            test.list({"/Mail/1.emlx"});
        test.get(qPrintable(focus))->setFocus();

        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTest::qWait(300); // an access key presses its button with a short animation
        QTEST(test.prompts->asked, "asked");
    }

    void clear_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QStringList>("after");
        const QStringList two{"/Mail/1.emlx", "/Mail/2.emlx"};
        const QStringList question{"ask: Do you want to clear all the files in the list\r\n Proceed?"};
        QTest::newRow("empty list") << QStringList() << true << QStringList() << QStringList{QString()};
        QTest::newRow("No keeps every row") << two << false << question << two;
        QTest::newRow("Yes empties the list") << two << true << question << QStringList{QString()};
    }
    void clear()
    {
        QFETCH(QStringList, before);
        QFETCH(bool, answer);
        QFETCH(QStringList, after);
        TestWindow test;
        test.list(before);
        test.prompts->yesNo = {answer};

        test.click("cmdClear1");
        QTEST(test.prompts->asked, "asked");
        QCOMPARE(test.rows(), after);
        QCOMPARE(test.text("lblCount1"), QStringLiteral("%1 files").arg(after.size() - after.count({})));
        QCOMPARE(test.get("CmdConvert2PDF")->isEnabled(), !before.isEmpty()); // clearing never disables it
    }

    void addFiles_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("picked");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<bool>("convertEnabled");
        const QStringList three{"/Mail/c.emlx", "/Mail/a.emlx", "/Mail/Grüße.emlx"};
        const QStringList old{"/Old/1.emlx", "/Old/2.emlx"};
        const QStringList twice{"/M/1.emlx", "/M/1.emlx"};
        QTest::newRow("in the dialog's order") << QStringList() << three << three << true;
        QTest::newRow("duplicates kept") << QStringList() << twice << twice << true;
        QTest::newRow("replaces the earlier list") << old << three << three << true;
        QTest::newRow("cancel keeps the list") << old << QStringList() << old << true;
        QTest::newRow("cancel on the empty list") << QStringList() << QStringList() << QStringList{QString()} << false;
    }
    void addFiles()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, picked);
        QFETCH(QStringList, after);
        TestWindow test;
        if (!before.isEmpty())
            test.list(before);
        test.prompts->files = {picked};

        test.click("cmdAdd");
        QCOMPARE(test.prompts->asked, QStringList{"pickFiles: Mac Mail Messages (*.emlx)"});
        QCOMPARE(test.rows(), after);
        QCOMPARE(test.text("lblCount1"), QStringLiteral("%1 files").arg(after.size() - after.count({})));
        QTEST(test.get("CmdConvert2PDF")->isEnabled(), "convertEnabled");
    }

    void exit_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<bool>("stillOpen");
        QTest::newRow("Exit, Yes") << false << true << QStringList{exitQuestion} << false;
        QTest::newRow("Exit, No") << false << false << QStringList{exitQuestion} << true;
        QTest::newRow("close box") << true << false << QStringList() << false;
    }
    void exit()
    {
        QFETCH(bool, closeBox);
        QFETCH(bool, answer);
        TestWindow test;
        test.list({"/Mail/1.emlx"});
        test.click("OptSD");
        test.prompts->yesNo = {answer};

        if (closeBox)
            test.window->close();
        else
            test.click("cmdEnd");
        QTEST(test.prompts->asked, "asked");
        QTEST(test.window->isVisible(), "stillOpen");
        QCOMPARE(test.rows(), QStringList{"/Mail/1.emlx"});
        QVERIFY(test.get<QRadioButton>("OptSD")->isChecked());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_window.moc"
