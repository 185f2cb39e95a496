#include "MessageListModel.h"

#include <QAbstractItemModelTester>
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
            rows.append(m_model->index(row).data().toString());
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
        QTest::addColumn<bool>("batched");

        const QStringList three{"/Mail/Inbox/1.emlx", "/Mail/Inbox/2.emlx", "/Mail/Sent/3.emlx"};
        for (bool batched : {false, true}) {
            const char *how = batched ? " (batched)" : " (one by one)";
            QTest::addRow("three in order%s", how) << three << QStringList() << batched;
            QTest::addRow("appended to earlier rows%s", how) << three.mid(0, 1) << three.mid(1) << batched;
            QTest::addRow("duplicates kept%s", how)
                << QStringList{"/Mail/1.emlx"} << QStringList{"/Mail/1.emlx", "/Mail/1.emlx"} << batched;
            QTest::addRow("stored as passed%s", how)
                << QStringList{" /Mail/Grüße/Ä B.EMLX  "} << QStringList{"/Mail/Ω.emlx"} << batched;
        }
    }

    void appending()
    {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QFETCH(bool, batched);
        QSignalSpy counts(m_model.get(), &MessageListModel::countChanged);
        QSignalSpy inserts(m_model.get(), &QAbstractItemModel::rowsInserted);

        for (const QStringList &part : {first, second}) {
            if (batched)
                m_model->appendFiles(part);
            else
                for (const QString &path : part)
                    m_model->AddFileToList(path);
        }

        const QStringList all = first + second;
        QCOMPARE(m_model->files(), all);
        QCOMPARE(shownRows(), all); // '/' is the native separator here
        QCOMPARE(m_model->count(), all.size());
        QCOMPARE(counts.constLast().at(0).toInt(), all.size());
        // The first path takes the empty row 0; a batch is one insertion, however long.
        const int insertedRows = int(all.size()) - 1;
        const int expectedInserts = batched ? int(!second.isEmpty()) + int(first.size() > 1) : insertedRows;
        QCOMPARE(inserts.size(), expectedInserts);
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
