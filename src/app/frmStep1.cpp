#include "app/frmStep1.h"
#include "ui_frmStep1.h"

#include "app/BackgroundRun.h"
#include "app/BackgroundScan.h"
#include "app/BusyScope.h"
#include "app/ClassicFrameStyle.h"
#include "app/DialogPrompts.h"
#include "app/EventPump.h"
#include "app/FileGrid.h"
#include "app/ListRows.h"
#include "app/RunSummary.h"
#include "convert/ConversionRun.h"
#include "convert/SourceFolders.h"
#include "list/FolderScan.h"
#include "platform/AtomicWriter.h"
#include "platform/PathHelpers.h"

#include <QCloseEvent>
#include <QDir>
#include <QFontDatabase>
#include <QSaveFile>
#include <QScreen>

// The pictures live in this static library; register them before the form loads them.
static void loadResources()
{
    Q_INIT_RESOURCE(emlxgui);
}

namespace {

constexpr int problemsNamedInBox = 10;

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/app-%1.png").arg(size), QSize(size, size));
    return icon;
}

// Linux has no Tahoma. Wine's metric-compatible one (Debian's fonts-wine, Fedora's
// wine-tahoma-fonts) lies outside the usual font folders; loaded, it keeps every caption where
// the form puts it. Only the regular face: Wine's bold one has wider spacing but strokes no
// heavier, so it would not look bold; from the regular face Qt makes a bold that does.
// Without it the system's sans-serif stands in.
void loadTahomaWhereMissing()
{
    if (QFontDatabase::hasFamily(QStringLiteral("Tahoma")))
        return;
    for (const char *path : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/fonts/wine-tahoma-fonts/tahoma.ttf"})
        if (QFileInfo::exists(QLatin1String(path)) && QFontDatabase::addApplicationFont(QLatin1String(path)) >= 0)
            return;
}

} // namespace

frmStep1::frmStep1(std::unique_ptr<Prompts> prompts, QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::frmStep1>()), m_prompts(std::move(prompts))
{
    loadResources();
    if (!m_prompts)
        m_prompts = std::make_unique<DialogPrompts>(this);
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(543, 491);
    setWindowIcon(applicationIcon());
    setUpTypeface();
    setUpFileGrid(ui->grdFiles1, &m_files);
    setUpSchemes();
    fitOptionCaptions();
    setClassicFrameStyle(ui->Frame1);

    connect(&m_files, &MessageListModel::countChanged, this, &frmStep1::showCount);
    makeCurrent(0);
    connect(ui->cmdAdd, &QPushButton::clicked, this, &frmStep1::addFiles);
    connect(ui->CmdAddFolder, &QPushButton::clicked, this, &frmStep1::addFolder);
    connect(ui->cmdClear1, &QPushButton::clicked, this, &frmStep1::clearList);
    connect(ui->CmdConvert2PDF, &QPushButton::clicked, this, &frmStep1::convert);
    connect(ui->cmdEnd, &QPushButton::clicked, this, &frmStep1::exitProgram);

    ui->cmdAdd->setFocus();
    centreOnScreen();
}

frmStep1::~frmStep1() = default;

void frmStep1::closeEvent(QCloseEvent *event)
{
    // Closing is never refused; a scan or run paused in the event loop sees this and ends.
    m_closing = true;
    event->accept();
}

// Tahoma where the system has it, else the system's own sans-serif, at the same point sizes.
void frmStep1::setUpTypeface()
{
    loadTahomaWhereMissing();
    const QString tahoma = QStringLiteral("Tahoma");
    QFont regular(QFontDatabase::hasFamily(tahoma) ? tahoma
                                                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    regular.setPointSizeF(8.25);
    setFont(regular);

    QFont title = regular;
    title.setPointSizeF(14.25);
    title.setBold(true);
    ui->lblTitle->setFont(title);

    QFont bold = regular;
    bold.setBold(true);
    ui->OptOriginal->setFont(bold);
}

// The window offers each scheme through the radio button its row names; the button's id is the scheme.
void frmStep1::setUpSchemes()
{
    for (const NamingSchemeRow &row : namingSchemes)
        if (auto *option = findChild<QAbstractButton *>(QString(row.option)))
            m_schemes.addButton(option, int(row.scheme));
    connect(&m_schemes, &QButtonGroup::idToggled, this, &frmStep1::keepSchemeAsOneTabStop);
    keepSchemeAsOneTabStop();
}

// The options are one Tab stop, at the selected option.
void frmStep1::keepSchemeAsOneTabStop()
{
    for (QAbstractButton *option : m_schemes.buttons()) {
        const Qt::FocusPolicy policy = option->focusPolicy();
        option->setFocusPolicy(option->isChecked() ? Qt::FocusPolicy(policy | Qt::TabFocus)
                                                   : Qt::FocusPolicy(policy & ~Qt::TabFocus));
    }
}

// The options are laid out for Tahoma. In a wider face an option grows to the right, into free
// room of its panel, rather than cut its caption.
void frmStep1::fitOptionCaptions()
{
    const QList<QAbstractButton *> options = m_schemes.buttons();
    for (QAbstractButton *option : options) {
        int room = option->parentWidget()->width() - option->x();
        for (const QAbstractButton *other : options)
            if (other->x() > option->x() && other->y() < option->geometry().bottom() &&
                option->y() < other->geometry().bottom())
                room = qMin(room, other->x() - option->x());
        const int wanted = qMin(option->sizeHint().width(), room);
        if (wanted > option->width())
            option->resize(wanted, option->height());
    }
}

void frmStep1::centreOnScreen()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

NamingScheme frmStep1::selectedScheme() const
{
    const int id = m_schemes.checkedId();
    return id < 0 ? NamingScheme::Original : NamingScheme(id);
}

QList<QWidget *> frmStep1::listChangingControls() const
{
    return {ui->cmdAdd, ui->CmdAddFolder, ui->cmdClear1, ui->CmdConvert2PDF};
}

void frmStep1::addFiles()
{
    const QStringList picked =
        m_prompts->pickFiles(QStringLiteral("Mac Mail Messages (*.emlx)"), m_pickerStarts.sourceStart());
    if (picked.isEmpty())
        return; // Cancel keeps the list the user built
    replaceList(picked);
}

// The files picked for Add EMLX File(s) replace the list.
void frmStep1::replaceList(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    m_files.ClearFileList();
    m_files.appendFiles(paths);
    m_pickerStarts.sourceChosen(QFileInfo(paths.constFirst()).absolutePath());
    ui->CmdConvert2PDF->setEnabled(true);
}

void frmStep1::addFolder()
{
    const QString folder =
        m_prompts->pickFolder(QStringLiteral("Choose Source Folder..."), m_pickerStarts.sourceStart());
    if (folder.isEmpty())
        return;
    m_pickerStarts.sourceChosen(folder);
    FolderScanResult scan;
    {
        BusyScope busy(listChangingControls(), true, ui->CmdAddFolder);
        // The walk runs on a thread of its own; the files found so far join the list at each
        // look, so the rows and the count follow the walk. Until the first is found, the count
        // says how far the walk has come instead.
        bool foundAny = false;
        showScanning(0);
        scan = scanInBackground(
            folder, [this] { return m_closing.load(); },
            [&](const QStringList &found, qsizetype folders) {
                foundAny = foundAny || !found.isEmpty();
                m_files.appendFiles(found);
                if (!foundAny)
                    showScanning(folders);
            },
            EventPump::intervalMs);
    }
    showCount(m_files.count());
    if (m_closing)
        return;
    ui->CmdConvert2PDF->setEnabled(m_files.count() > 0);
    reportScan(scan);
}

// The yield of a long operation: lets events run, until the window is closing.
std::function<void()> frmStep1::pumpUnlessClosing(EventPump &pump)
{
    return [this, &pump] {
        if (!m_closing)
            pump();
    };
}

void frmStep1::reportScan(const FolderScanResult &scan)
{
    QString text = QStringLiteral("%1 Files Added to List.").arg(scan.messageFileCount);
    QString details;
    const QStringList problems = scan.problems();
    if (!problems.isEmpty()) {
        text += QStringLiteral("\n\nLeft out:\n") + problems.mid(0, problemsNamedInBox).join(u'\n');
        if (problems.size() > problemsNamedInBox) {
            text += QStringLiteral("\nand %1 more (see the details)").arg(problems.size() - problemsNamedInBox);
            details = problems.join(u'\n');
        }
    }
    m_prompts->inform(text, Prompts::Icon::Plain, details);
}

// While a scan has found no message yet, the count says how far its walk has come.
void frmStep1::showScanning(qsizetype folders)
{
    QString text = QStringLiteral("Scanning…");
    if (folders > 0)
        text += u' ' + counted(folders, QStringLiteral("folder"), QStringLiteral("folders"));
    ui->lblCount1->setText(text);
}

// After each change of the list: the count, and the newest entry (row 0 of an empty list) as
// the current row.
void frmStep1::showCount(int count)
{
    ui->lblCount1->setText(QStringLiteral("%1 files").arg(count));
    makeCurrent(qMax(0, count - 1));
}

void frmStep1::makeCurrent(int row)
{
    ui->grdFiles1->setCurrentIndex(m_files.index(row));
}

void frmStep1::clearList()
{
    makeCurrent(0);
    if (m_files.count() == 0)
        return;
    if (m_prompts->askYesNo(QStringLiteral("Do you want to clear all the files in the list\r\n Proceed?")))
        m_files.ClearFileList();
}

void frmStep1::convert()
{
    if (m_files.count() == 0) {
        m_prompts->inform(QStringLiteral("There is nothing to convert: the list holds no message files."),
                          Prompts::Icon::Information);
        return;
    }
    // The last run's bar stays until the next run begins; its picker does not sit over it.
    resetProgress();
    const QString destination = pickDestination();
    if (destination.isEmpty())
        return;
    RunReport report;
    {
        BusyScope busy(listChangingControls(), false, ui->CmdConvert2PDF);
        EventPump pump;
        RunCallbacks callbacks;
        callbacks.messageStarted = [this](int index) { followRun(index); };
        callbacks.progress = [this](int done, int total) {
            followRun(done - 1);
            showProgress(done, total);
        };
        callbacks.yield = pumpUnlessClosing(pump);
        callbacks.stopRequested = [this] { return m_closing.load(); };
        // The end box counts the outputs and names the failures: the report need not list every
        // output, which for a million messages would cost hundreds of megabytes.
        callbacks.outputReported = [](const PlannedOutput &) {};
        RunOptions options;
        options.destination = destination;
        options.scheme = selectedScheme();
        options.jobs = qMax(1, runJobs);
        // A scheme picked while the run goes on names the messages after it.
        const QMetaObject::Connection follow = connect(&m_schemes, &QButtonGroup::idToggled, this,
                                                       [this, &options] { options.scheme = selectedScheme(); });
        // One job works here, a step at a time between turns of the event loop; more work on
        // threads of their own while the event loop turns freely.
        // The list cannot change while the run reads it: its buttons wait until the run ends.
        const ListRows sources(m_files);
        report = options.jobs > 1 ? convertAllInBackground(sources, options, callbacks, EventPump::intervalMs)
                                  : convertAll(sources, options, callbacks);
        disconnect(follow);
    }
    if (!m_closing)
        reportRun(report, destination);
}

// The destination of a run, asked until it is one where no output would land beside a listed
// message, or the picker is cancelled (empty).
QString frmStep1::pickDestination()
{
    const SourceFolders sources{ListRows(m_files)};
    for (;;) {
        const QString destination = m_prompts->pickFolder(
            QStringLiteral("Choose Folder to Save..."), m_pickerStarts.destinationStart(sources), true);
        if (destination.isEmpty())
            return {};
        RunOptions options;
        options.destination = destination;
        const QString refusal = sources.refusal(options);
        if (refusal.isEmpty()) {
            m_pickerStarts.destinationChosen(destination);
            return destination;
        }
        m_prompts->warn(refusal.front().toUpper() + refusal.mid(1) + u'.');
    }
}

void frmStep1::followRun(int index)
{
    makeCurrent(index);
    ui->grdFiles1->scrollTo(m_files.index(index));
}

void frmStep1::resetProgress()
{
    ui->ProgressBar1->setRange(0, 100);
    ui->ProgressBar1->setValue(0);
    ui->LblProgessCurrent->setText(QStringLiteral("Message 0 (of 0)"));
}

void frmStep1::showProgress(int done, int total)
{
    ui->LblProgessCurrent->setText(QStringLiteral("Message %1 (of %2)").arg(done).arg(total));
    ui->ProgressBar1->setValue(qRound(done * 100.0 / total));
}

void frmStep1::reportRun(const RunReport &report, const QString &destination)
{
    if (!report.error.isEmpty()) {
        m_prompts->warn(QStringLiteral("Nothing was converted: %1").arg(report.error));
        return;
    }
    const RunSummary summary = summariseRun(report, destination);
    Prompts::Actions actions;
    if (!summary.fullList.isEmpty())
        actions.saveList = [this, &summary, &destination] {
            saveList(summary.savedText(), QDir(destination).filePath(QStringLiteral("Conversion report.txt")));
        };
    actions.openFolder = [this, &destination] { m_prompts->showFolder(destination); };
    if (summary.failed)
        m_prompts->warn(summary.text, summary.details, actions);
    else
        m_prompts->inform(summary.text, Prompts::Icon::Information, summary.details, actions);
}

// Writes the end box's list where the user chooses; nothing is written unless asked.
void frmStep1::saveList(const QString &text, const QString &suggested)
{
    const QString path = m_prompts->pickSaveFile(QStringLiteral("Save the List As..."), suggested);
    if (path.isEmpty())
        return;
    // QSaveFile writes whole or not at all, and gives a new file the mode the umask allows.
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || !writeAll(file, bytes.constData(), bytes.size()) || !file.commit())
        m_prompts->warn(
            QStringLiteral("The list was not saved: cannot write %1: %2").arg(quotedPath(path), file.errorString()));
}

void frmStep1::exitProgram()
{
    if (m_prompts->askYesNo(QStringLiteral("Are you sure you want to exit now?")))
        close();
}

void frmStep1::openFiles(const QStringList &paths)
{
    replaceList(paths);
}
