#include "PathHelpers.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class PathHelpersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitsPaths_data();
    void splitsPaths();
    void dropsRoot_data();
    void dropsRoot();
    void createsFolders_data();
    void createsFolders();
    void refusesFolderWhereFileIs();
    void copies_data();
    void copies();
    void copiesRangeAndKeepsModificationTime();
    void failedCopyLeavesNothingBehind();

private:
    QStringList filesIn(const QString &folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }
};

void PathHelpersTest::splitsPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::newRow("drive path") << "C:/Mail/Inbox/1.emlx"
                                << "C:/Mail/Inbox/"
                                << "1.emlx";
    QTest::newRow("bare name") << "1.emlx"
                               << ""
                               << "1.emlx";
    QTest::newRow("folder only") << "C:/Mail/"
                                 << "C:/Mail/"
                                 << "";
    QTest::newRow("network path") << "//server/share/1.emlx"
                                  << "//server/share/"
                                  << "1.emlx";
    QTest::newRow("doubled separator") << "C:/a//b.emlx"
                                       << "C:/a//"
                                       << "b.emlx";
    QTest::newRow("unix path, non-ASCII") << "/home/ann/Почта/ü.emlx"
                                          << "/home/ann/Почта/"
                                          << "ü.emlx";
}

void PathHelpersTest::splitsPaths()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QCOMPARE(GetFolderPart(path), folder);
    QCOMPARE(GetFileNamePart(path), name);
    QCOMPARE(GetFolderPart(path) + GetFileNamePart(path), path);
}

void PathHelpersTest::dropsRoot_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("mirrored");
    QTest::newRow("drive") << "C:/Mail/Inbox/"
                           << "Mail/Inbox/";
    QTest::newRow("drive root") << "C:/"
                                << "";
    QTest::newRow("unix") << "/home/ann/Mail/"
                          << "home/ann/Mail/";
    QTest::newRow("unix root") << "/"
                               << "";
    QTest::newRow("network") << "//server/share/x/"
                             << "server/share/x/";
    QTest::newRow("relative") << "Mail/"
                              << "Mail/";
}

void PathHelpersTest::dropsRoot()
{
    QFETCH(QString, folder);
    QFETCH(QString, mirrored);
    QCOMPARE(DropPathRoot(folder), mirrored);
}

void PathHelpersTest::createsFolders_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("without trailing slash") << "Out/Mail";
    QTest::newRow("with trailing slash") << "Out/Mail/";
    QTest::newRow("deep, non-ASCII") << "Out/Über/中文/x/";
}

void PathHelpersTest::createsFolders()
{
    QFETCH(QString, folder);
    QTemporaryDir dir;
    const QString path = dir.filePath(folder);
    QVERIFY(EnsureFolderExists(path).ok);
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(EnsureFolderExists(path).ok); // again: nothing to do, still true
}

void PathHelpersTest::refusesFolderWhereFileIs()
{
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("Out"), "a file"));
    const FileResult result = EnsureFolderExists(dir.filePath("Out/Mail"));
    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains("Out/Mail"), qPrintable(result.error));
}

void PathHelpersTest::copies_data()
{
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<bool>("failIfExists");
    QTest::addColumn<bool>("sourceExists");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QByteArray>("targetAfter");
    QTest::newRow("new target") << false << false << true << true << QByteArray("new");
    QTest::newRow("replace existing") << true << false << true << true << QByteArray("new");
    QTest::newRow("keep existing when asked") << true << true << true << false << QByteArray("old");
    QTest::newRow("missing source") << false << false << false << false << QByteArray();
    QTest::newRow("missing source keeps existing") << true << false << false << false << QByteArray("old");
}

void PathHelpersTest::copies()
{
    QFETCH(bool, targetExists);
    QFETCH(bool, failIfExists);
    QFETCH(bool, sourceExists);
    QFETCH(bool, succeeds);
    QFETCH(QByteArray, targetAfter);
    QTemporaryDir dir;
    const QString source = dir.filePath("in/ä.emlx");
    const QString target = dir.filePath("out/ä.eml");
    QDir().mkpath(dir.filePath("out"));
    if (sourceExists)
        QVERIFY(TestFiles::write(source, "new"));
    if (targetExists)
        QVERIFY(TestFiles::write(target, "old"));

    const FileResult result = CopyMessageFile(source, target, failIfExists);
    QCOMPARE(result.ok, succeeds);
    QCOMPARE(result.error.isEmpty(), succeeds);
    QCOMPARE(QFileInfo::exists(target), !targetAfter.isEmpty());
    if (!targetAfter.isEmpty())
        QCOMPARE(TestFiles::read(target), targetAfter);
    QCOMPARE(filesIn(dir.filePath("out")).size(), targetAfter.isEmpty() ? 0 : 1);
}

void PathHelpersTest::copiesRangeAndKeepsModificationTime()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("1.emlx");
    QVERIFY(TestFiles::write(source, "12\nHello world\n<?xml"));
    const QDateTime stamp = QDateTime::currentDateTime().addDays(-400);
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    const QString target = dir.filePath("1.eml");
    QVERIFY(CopyMessageFile(source, target, false, {3, 12}).ok);
    QCOMPARE(TestFiles::read(target), QByteArray("Hello world\n"));
    QCOMPARE(QFileInfo(target).lastModified().toSecsSinceEpoch(), stamp.toSecsSinceEpoch());
    QVERIFY(QFileInfo(target).permissions().testFlag(QFileDevice::ReadOther));
}

void PathHelpersTest::failedCopyLeavesNothingBehind()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("1.emlx");
    QVERIFY(TestFiles::write(source, "message"));
    QVERIFY(QDir().mkpath(dir.filePath("out/taken.eml"))); // a folder where the file must go

    const FileResult result = CopyMessageFile(source, dir.filePath("out/taken.eml"), false);
    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains("taken.eml"), qPrintable(result.error));
    QVERIFY(QFileInfo(dir.filePath("out/taken.eml")).isDir());
    QCOMPARE(filesIn(dir.filePath("out")), QStringList());
}

QTEST_GUILESS_MAIN(PathHelpersTest)
#include "tst_pathhelpers.moc"
