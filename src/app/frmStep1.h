// Application shell (emlxgui): the window frmStep1, its form, and the dialogs it shows. Depends
// on the core (emlxcore) and Qt Widgets; the window only wires its controls to core calls.
#pragma once

#include "app/PickerStarts.h"
#include "app/Prompts.h"
#include "convert/OutputNaming.h"
#include "list/MessageListModel.h"

#include <QButtonGroup>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

struct FolderScanResult;
struct RunReport;
class EventPump;

namespace Ui {
class frmStep1;
}

// The program's only window. It turns clicks into calls of the core and the core's results into
// captions, enabled states and message boxes; the message list lives in its model.
class frmStep1 : public QWidget
{
    Q_OBJECT

public:
    // Without prompts the window shows real dialogs.
    explicit frmStep1(std::unique_ptr<Prompts> prompts = nullptr, QWidget *parent = nullptr);
    ~frmStep1() override;

    // Messages a run converts at once: as many as the machine has cores, as emlx2eml does. With
    // one, the run works on the window's thread a message at a time (tests set it to follow a
    // run step by step); with more, on threads of its own.
    static inline int runJobs = QThread::idealThreadCount();

    const MessageListModel &messageList() const { return m_files; }
    // Replaces the list with these files, as Add EMLX File(s)... does with the files picked.
    void openFiles(const QStringList &paths);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void setUpTypeface();
    void setUpSchemes();
    void fitOptionCaptions();
    void centreOnScreen();

    void addFiles();
    void replaceList(const QStringList &paths);
    void addFolder();
    void clearList();
    void convert();
    QString pickDestination();
    void exitProgram();

    std::function<void()> pumpUnlessClosing(EventPump &pump);
    void reportScan(const FolderScanResult &scan);
    void showCount(int count);
    void showScanning(qsizetype folders);
    void resetProgress();
    void showProgress(int done, int total);
    void followRun(int index);
    void makeCurrent(int row);
    void reportRun(const RunReport &report, const QString &destination);
    void saveList(const QString &text, const QString &suggested);
    QList<QWidget *> listChangingControls() const;
    NamingScheme selectedScheme() const;
    void keepSchemeAsOneTabStop();

    std::unique_ptr<Ui::frmStep1> ui;
    std::unique_ptr<Prompts> m_prompts;
    MessageListModel m_files;
    QButtonGroup m_schemes;
    PickerStarts m_pickerStarts;
    // The window is closing: a scan or run in progress stops at once (a run's threads ask too).
    std::atomic<bool> m_closing = false;
};
