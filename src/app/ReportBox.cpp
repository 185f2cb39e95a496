#include "app/ReportBox.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QPushButton>
#include <QStyle>

namespace {

// The details, a line per file or reason. A line too long for the box goes on below itself,
// indented, so that each still reads as one.
QTextEdit *detailsArea(const QString &details)
{
    auto *area = new QTextEdit;
    area->setReadOnly(true);
    area->setLineWrapMode(QTextEdit::WidgetWidth);
    area->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    area->setPlainText(details);
    const int indent = area->fontMetrics().averageCharWidth() * 4;
    QTextBlockFormat hanging;
    hanging.setLeftMargin(indent);
    hanging.setTextIndent(-indent);
    QTextCursor all(area->document());
    all.select(QTextCursor::Document);
    all.mergeBlockFormat(hanging);
    area->setMinimumHeight(area->fontMetrics().lineSpacing() * 4);
    return area;
}

} // namespace

ReportBox::ReportBox(QWidget *owner, QMessageBox::Icon icon, const QString &text, const QString &details,
                     const Prompts::Actions &actions)
    : QDialog(owner), m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok)),
      m_ok(m_buttons->button(QDialogButtonBox::Ok))
{
    setWindowTitle(applicationTitle());
    setSizeGripEnabled(true);
    auto *layout = new QGridLayout(this);
    if (icon != QMessageBox::NoIcon) {
        const QStyle::StandardPixmap standard = icon == QMessageBox::Warning    ? QStyle::SP_MessageBoxWarning
                                                : icon == QMessageBox::Critical ? QStyle::SP_MessageBoxCritical
                                                : icon == QMessageBox::Question ? QStyle::SP_MessageBoxQuestion
                                                                                : QStyle::SP_MessageBoxInformation;
        const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        auto *picture = new QLabel;
        picture->setPixmap(style()->standardIcon(standard, nullptr, this).pixmap(size, size));
        layout->addWidget(picture, 0, 0, Qt::AlignTop);
    }
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Each line of the text on one line of the box, up to about 80 characters.
    int longest = 0;
    for (const QString &line : text.split(u'\n'))
        longest = qMax(longest, label->fontMetrics().horizontalAdvance(line));
    label->setMinimumWidth(qMin(longest + 1, label->fontMetrics().averageCharWidth() * 80));
    layout->addWidget(label, 0, 1);
    if (!details.isEmpty()) {
        layout->addWidget(detailsArea(details), 1, 0, 1, 2);
        layout->setRowStretch(1, 1);
    }
    layout->setColumnStretch(1, 1);
    layout->addWidget(m_buttons, 2, 0, 1, 2);
    if (actions.saveList)
        addAction(QStringLiteral("&Save List..."), actions.saveList);
    if (actions.openFolder)
        addAction(QStringLiteral("&Open Folder"), actions.openFolder);
    m_ok->setDefault(true);
    m_ok->setFocus();
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    // Room for about 90 characters by 24 lines of details; without details, what the text needs.
    const QFontMetrics metrics = fontMetrics();
    if (!details.isEmpty())
        resize(qMax(sizeHint().width(), metrics.averageCharWidth() * 90),
               qMax(sizeHint().height(), metrics.lineSpacing() * 30));
}

// An action's button never takes Enter for itself: Enter stays with OK, before and after the
// action ran.
void ReportBox::addAction(const QString &caption, const std::function<void()> &action)
{
    QPushButton *button = m_buttons->addButton(caption, QDialogButtonBox::ActionRole);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, action] {
        action();
        m_ok->setFocus();
    });
}
