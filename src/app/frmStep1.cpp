#include "frmStep1.h"
#include "ui_frmStep1.h"

#include "BusyScope.h"
#include "ConversionRun.h"
#include "DialogPrompts.h"
#include "EventPump.h"
#include "FileGrid.h"
#include "FolderScan.h"

#include <QCloseEvent>
#include <QDir>
#include <QFontDatabase>
#include <QScreen>

// The pictures live in this static library; register them before the form loads them.
static void loadResources()
{
    Q_INIT_RESOURCE(emlxgui);
}

namespace {

constexpr int appendBatch = 2000; // rows per view update while a scan's files are listed
constexpr int problemsNamedInBox = 10;

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/app-%1.png").arg(size), QSize(size, size));
    return icon;
}

QString noteLine(const MessageNote &note)
{
    const QString source = QDir::toNativeSeparators(note.source);
    if (note.text.contains(source) || note.text.contains(note.source))
        return note.text;
    return source + QStringLiteral(": ") + note.text;
}

QString noteLines(const QString &heading, const QList<MessageNote> &notes)
{
    if (notes.isEmpty())
        return {};
    QStringList lines{heading};
    for (const MessageNote &note : notes)
        lines.append(noteLine(note));
    return lines.join(u'\n');
}

QString runDetails(const RunReport &report)
{
    QStringList parts{noteLines(QStringLiteral("Not converted:"), report.failures),
                      noteLines(QStringLiteral("Warnings:"), report.warnings)};
    parts.removeAll(QString());
    return parts.join(QStringLiteral("\n\n"));
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

    connect(&m_files, &MessageListModel::countChanged, this,
            [this](int count) { ui->lblCount1->setText(QStringLiteral("%1 files").arg(count)); });
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

void frmStep1::setUpSchemes()
{
    m_schemes.addButton(ui->OptOriginal, int(NamingScheme::Original));
    m_schemes.addButton(ui->OptSD, int(NamingScheme::SubjectDate));
    m_schemes.addButton(ui->OptFSD, int(NamingScheme::SenderSubjectDate));
    m_schemes.addButton(ui->OptDFS, int(NamingScheme::DateSenderSubject));
    m_schemes.addButton(ui->OptDFS_YMD, int(NamingScheme::YmdSubjectSender));
    m_schemes.addButton(ui->OptDFS_MYD, int(NamingScheme::MdySubjectSender));
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
    const QStringList picked = m_prompts->pickFiles(QStringLiteral("Mac Mail Messages (*.emlx)"));
    if (picked.isEmpty())
        return; // Cancel keeps the list the user built
    m_files.ClearFileList();
    m_files.appendFiles(picked);
    ui->CmdConvert2PDF->setEnabled(true);
}

void frmStep1::addFolder()
{
    const QString folder = m_prompts->pickFolder(QStringLiteral("Choose Source Folder..."));
    if (folder.isEmpty())
        return;
    FolderScanResult scan;
    {
        BusyScope busy(listChangingControls(), true);
        EventPump pump;
        scan = scanForMessageFiles(folder, pumpUnlessClosing(pump), [this] { return m_closing; });
        appendInBatches(scan.messageFiles, pump);
    }
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

void frmStep1::appendInBatches(const QStringList &paths, EventPump &pump)
{
    for (qsizetype start = 0; start < paths.size() && !m_closing; start += appendBatch) {
        m_files.appendFiles(paths.mid(start, appendBatch));
        pump();
    }
}

void frmStep1::reportScan(const FolderScanResult &scan)
{
    QString text = QStringLiteral("%1 Files Added to List.").arg(scan.messageFiles.size());
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

void frmStep1::clearList()
{
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
    const QString destination = m_prompts->pickFolder(QStringLiteral("Choose Folder to Save..."));
    if (destination.isEmpty())
        return;
    RunReport report;
    {
        BusyScope busy(listChangingControls(), false);
        EventPump pump;
        RunCallbacks callbacks;
        callbacks.messageStarted = [this](int index) { followRun(index); };
        callbacks.progress = [this](int done, int total) { showProgress(done, total); };
        callbacks.yield = pumpUnlessClosing(pump);
        callbacks.stopRequested = [this] { return m_closing; };
        callbacks.scheme = [this] { return selectedScheme(); };
        RunOptions options;
        options.destination = destination;
        options.scheme = selectedScheme();
        ui->ProgressBar1->setRange(0, 100);
        report = convertAll(m_files.files(), options, callbacks);
    }
    if (!m_closing)
        reportRun(report);
}

void frmStep1::followRun(int index)
{
    const QModelIndex row = m_files.index(index);
    ui->grdFiles1->setCurrentIndex(row);
    ui->grdFiles1->scrollTo(row);
}

void frmStep1::showProgress(int done, int total)
{
    ui->LblProgessCurrent->setText(QStringLiteral("Message %1 (of %2)").arg(done).arg(total));
    ui->ProgressBar1->setValue(qRound(done * 100.0 / total));
}

void frmStep1::reportRun(const RunReport &report)
{
    if (!report.error.isEmpty()) {
        m_prompts->warn(QStringLiteral("Nothing was converted: %1").arg(report.error));
        return;
    }
    if (!report.failures.isEmpty()) {
        m_prompts->warn(QStringLiteral("Completed, but %1 of %2 messages could not be converted.\n"
                                       "The details name each of them with the reason.")
                            .arg(report.failures.size())
                            .arg(report.total),
                        runDetails(report));
        return;
    }
    m_prompts->inform(QStringLiteral("Completed !"), Prompts::Icon::Information, runDetails(report));
}

void frmStep1::exitProgram()
{
    if (m_prompts->askYesNo(QStringLiteral("Are you sure you want to exit now?")))
        close();
}

void frmStep1::openFiles(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    m_files.ClearFileList();
    m_files.appendFiles(paths);
    ui->CmdConvert2PDF->setEnabled(true);
}
