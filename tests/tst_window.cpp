#include "WindowTesting.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QTableView>

namespace {

QRect twips(int left, int top, int width, int height)
{
    return QRect(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0), qRound(height / 15.0));
}

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
        const QString window = QStringLiteral("frmStep1");
        QTest::newRow("lblTitle") << window << "Vaskel EMLX to EML Converter" << twips(240, 120, 6255, 375);
        QTest::newRow("cmdAdd") << window << "Add EMLX File(s)..." << twips(240, 960, 1815, 375);
        QTest::newRow("CmdAddFolder") << window << "Add Folder having EMLX File(s)..." << twips(2400, 960, 2775, 375);
        QTest::newRow("cmdClear1") << window << "Clear File(s)..." << twips(6240, 960, 1695, 375);
        QTest::newRow("lblCount1") << window << "0 files" << twips(270, 1560, 4335, 255);
        QTest::newRow("grdFiles1") << window << QString() << twips(240, 1800, 7695, 1575);
        QTest::newRow("Label4") << window << "Converting Messages..." << twips(240, 3480, 2535, 255);
        QTest::newRow("Image1") << window << QString() << twips(240, 3800, 330, 330);
        QTest::newRow("LblProgessCurrent") << window << "Message 0 (of 0)" << twips(720, 3840, 6255, 255);
        QTest::newRow("ProgressBar1") << window << QString() << twips(240, 4200, 7695, 255);
        QTest::newRow("Frame1") << window << " File Naming Options " << twips(240, 4560, 7695, 1455);
        QTest::newRow("Picture1") << "Frame1" << QString() << twips(120, 240, 7455, 1095);
        QTest::newRow("OptOriginal") << "Picture1"
                                     << "Use original file name" << twips(0, 120, 3135, 255);
        QTest::newRow("OptSD") << "Picture1"
                               << "subject + date (DD-MM-YYYY)" << twips(0, 480, 3135, 255);
        QTest::newRow("OptFSD") << "Picture1"
                                << "sender + subject + date (DD-MM-YYYY)" << twips(0, 840, 3735, 255);
        QTest::newRow("OptDFS") << "Picture1"
                                << "date (DD-MM-YYYY) + from + subject" << twips(3840, 120, 3135, 255);
        QTest::newRow("OptDFS_YMD") << "Picture1"
                                    << "date (YYYY-MM-DD) + subject + from " << twips(3840, 480, 3135, 255);
        QTest::newRow("OptDFS_MYD") << "Picture1"
                                    << "date (MM-DD-YYYY) + subject + from" << twips(3840, 840, 3375, 255);
        QTest::newRow("CmdConvert2PDF") << window << "Convert &Messages to EML" << twips(2640, 6120, 2535, 435);
        QTest::newRow("Shape1") << window << QString() << twips(0, 6720, 8415, 855);
        QTest::newRow("Shape2") << window << QString() << twips(-120, 0, 8415, 855);
        QTest::newRow("Picture3") << window << QString() << twips(240, 6840, 7695, 495);
        QTest::newRow("cmdEnd") << "Picture3"
                                << "E&xit" << twips(6360, 0, 1335, 375);
    }

    void controls()
    {
        QFETCH(QString, container);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        TestWindow test;
        const QWidget *control = test.get(QTest::currentDataTag());
        QCOMPARE(control->parentWidget()->objectName(), container);
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
        QCOMPARE(test.get<QLabel>("lblCount1")->text(), "0 files");
        QCOMPARE(test.get<QLabel>("LblProgessCurrent")->text(), "Message 0 (of 0)");
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
        QTest::newRow("at start") << false << QString()
                                  << QStringList{"cmdAdd", "cmdClear1",   "CmdAddFolder", "grdFiles1",
                                                 "cmdEnd", "OptOriginal", "cmdAdd"};
        QTest::newRow("convert enabled") << true << QString()
                                         << QStringList{"cmdAdd",         "cmdClear1", "CmdAddFolder", "grdFiles1",
                                                        "CmdConvert2PDF", "cmdEnd",    "OptOriginal",  "cmdAdd"};
        QTest::newRow("another option selected")
            << false << "OptDFS_YMD"
            << QStringList{"cmdAdd", "cmdClear1", "CmdAddFolder", "grdFiles1", "cmdEnd", "OptDFS_YMD", "cmdAdd"};
    }

    void tabOrder()
    {
        QFETCH(bool, withFiles);
        QFETCH(QString, option);
        QFETCH(QStringList, stops);
        TestWindow test;
        test.prompts->files = {{"/Mail/1.emlx"}, {"/Mail/2.emlx"}};
        if (withFiles)
            test.click("cmdAdd");
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
        QFETCH(QStringList, asked);
        TestWindow test;
        test.prompts->files = {{"/Mail/1.emlx"}};
        if (withFiles)
            test.click("cmdAdd");
        test.prompts->forget();
        test.get(qPrintable(focus))->setFocus();

        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTest::qWait(300); // an access key presses its button with a short animation
        QCOMPARE(test.prompts->asked, asked);
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
        QFETCH(QStringList, asked);
        QFETCH(QStringList, after);
        TestWindow test;
        test.prompts->files = {before};
        test.click("cmdAdd");
        test.prompts->forget();
        test.prompts->yesNo = {answer};

        test.click("cmdClear1");
        QCOMPARE(test.prompts->asked, asked);
        QCOMPARE(test.rows(), after);
        QCOMPARE(test.get<QLabel>("lblCount1")->text(), QStringLiteral("%1 files").arg(after.size() - after.count({})));
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
        QTest::newRow("one file") << QStringList() << three.mid(0, 1) << three.mid(0, 1) << true;
        QTest::newRow("three in the dialog's order") << QStringList() << three << three << true;
        QTest::newRow("duplicates kept") << QStringList() << QStringList{"/M/1.emlx", "/M/1.emlx"}
                                         << QStringList{"/M/1.emlx", "/M/1.emlx"} << true;
        QTest::newRow("replaces the earlier list") << old << three << three << true;
        QTest::newRow("cancel keeps the list") << old << QStringList() << old << true;
        QTest::newRow("cancel on the empty list") << QStringList() << QStringList() << QStringList{QString()} << false;
    }

    void addFiles()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, picked);
        QFETCH(QStringList, after);
        QFETCH(bool, convertEnabled);
        TestWindow test;
        if (!before.isEmpty()) {
            test.prompts->files = {before};
            test.click("cmdAdd");
        }
        test.prompts->files = {picked};

        test.click("cmdAdd");
        QCOMPARE(test.prompts->asked.constLast(), "pickFiles: Mac Mail Messages (*.emlx)");
        QCOMPARE(test.rows(), after);
        QCOMPARE(test.get<QLabel>("lblCount1")->text(), QStringLiteral("%1 files").arg(after.size() - after.count({})));
        QCOMPARE(test.get("CmdConvert2PDF")->isEnabled(), convertEnabled);
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
        QFETCH(QStringList, asked);
        QFETCH(bool, stillOpen);
        TestWindow test;
        test.prompts->files = {{"/Mail/1.emlx"}};
        test.click("cmdAdd");
        test.click("OptSD");
        test.prompts->forget();
        test.prompts->yesNo = {answer};

        if (closeBox)
            test.window->close();
        else
            test.click("cmdEnd");
        QCOMPARE(test.prompts->asked, asked);
        QCOMPARE(test.window->isVisible(), stillOpen);
        QCOMPARE(test.rows(), QStringList{"/Mail/1.emlx"});
        QVERIFY(test.get<QRadioButton>("OptSD")->isChecked());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_window.moc"
