#include "list/MessageListModel.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

class TestMessageListModel : public QObject
{
    Q_OBJECT

    std::unique_ptr<MessageListModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;

    QStringList shownRows() const
    {
        QStringList rows;
        for (int row = 0; row < m_model->rowCount(); ++row)
            rows.append(QDir::fromNativeSeparators(m_model->index(row).data().toString()));
        return rows;
    }

private Q_SLOTS:
    void init()
    {
        m_model = std::make_unique<MessageListModel>();
        m_tester = std::make_unique<QAbstractItemModelTester>(m_model.get(),
                                                              QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    void appending_data()
    {
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        QTest::addColumn<int>("insertions"); // the first path takes the empty row 0; a batch is one insertion
        const QStringList three{"/Mail/Inbox/1.emlx", "/Mail/Inbox/2.emlx", "/Mail/Sent/3.emlx"};
        QTest::newRow("three in order") << three << QStringList() << 1;
        QTest::newRow("appended to earlier rows") << three.mid(0, 1) << three.mid(1) << 1;
        QTest::newRow("duplicates kept") << QStringList{"/M/1.emlx"} << QStringList{"/M/1.emlx", "/M/1.emlx"} << 1;
        QTest::newRow("stored as passed") << QStringList{" /Mail/Grüße/Ä B.EMLX  "} << QStringList{"/Mail/Ω.emlx"} << 1;
        QTest::newRow("one batch after another") << three.mid(0, 2) << three.mid(2) << 2;
        // Rows keep a folder once: each row must get its own folder and name back.
        QTest::newRow("folders shared, not one after another")
            << QStringList{"/M/A/1.emlx", "/M/B/1.emlx", "/M/A/2.emlx"} << QStringList{"/M/A/3.emlx", "/M/A/"} << 2;
        QTest::newRow("no folder, the root, alike names")
            << QStringList{"1.emlx", "/1.emlx"} << QStringList{"/1/1.emlx", "1.emlx"} << 2;
    }
    void appending()
    {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QSignalSpy counts(m_model.get(), &MessageListModel::countChanged);
        QSignalSpy inserts(m_model.get(), &QAbstractItemModel::rowsInserted);
        m_model->appendFiles(first);
        m_model->appendFiles(second);

        const QStringList all = first + second;
        QCOMPARE(m_model->files(), all);
        QCOMPARE(shownRows(), all);
        if (!all.isEmpty()) // shown with the system's separators
            QCOMPARE(m_model->index(0).data().toString(), QDir::toNativeSeparators(all[0]));
        QCOMPARE(m_model->count(), all.size());
        QCOMPARE(counts.constLast().at(0).toInt(), all.size());
        QTEST(int(inserts.size()), "insertions");
    }

    void clearing_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addRow("empty list") << QStringList();
        QTest::addRow("one entry") << QStringList{"/a.emlx"};
        QTest::addRow("two entries") << QStringList{"/a.emlx", "/b.emlx"};
    }

    void clearing()
    {
        QFETCH(QStringList, before);
        QCOMPARE(shownRows(), QStringList{QString()}); // the empty list is one empty row
        m_model->appendFiles(before);
        QSignalSpy removals(m_model.get(), &QAbstractItemModel::rowsRemoved);

        m_model->ClearFileList();
        QCOMPARE(removals.size(), before.size() > 1 ? 1 : 0); // a view learns of every row gone
        QCOMPARE(shownRows(), QStringList{QString()});
        QCOMPARE(m_model->count(), 0);
        QVERIFY(m_model->files().isEmpty());
        QVERIFY(!(m_model->flags(m_model->index(0)) & Qt::ItemIsEditable));

        m_model->AddFileToList("/next.emlx"); // goes into row 0 again
        QCOMPARE(shownRows(), QStringList{"/next.emlx"});
    }
};

QTEST_GUILESS_MAIN(TestMessageListModel)
#include "tst_messagelistmodel.moc"
