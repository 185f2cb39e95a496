#include "app/FileGrid.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>

namespace {

const QColor cellColour(0xFF, 0xFF, 0xBF);
const QColor outsideColour(0xFF, 0xFF, 0xFF);
const QColor selectionColour(0xE0, 0xE0, 0xE0);
const QColor gridLineColour(0xC0, 0xC0, 0xC0);

// Paints every cell on the pale yellow ground; the area below and beside the cells stays white.
class CellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The current cell of a grid that has the keyboard's focus gets a dotted frame, as the
    // classic grid drew it; most styles draw none in a list.
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem cell = option;
        cell.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, cell, index);
        if (!option.state.testFlag(QStyle::State_HasFocus))
            return;
        painter->save();
        painter->setPen(QPen(option.palette.color(QPalette::WindowText), 1, Qt::DotLine));
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->backgroundBrush = cellColour;
    }
};

void setGridColours(QTableView *grid)
{
    QPalette palette = grid->palette();
    const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, outsideColour);
        palette.setColor(group, QPalette::Highlight, selectionColour);
        // Most themes' highlight text is white, which cannot be read on the light grey.
        palette.setColor(group, QPalette::HighlightedText, text);
    }
    grid->setPalette(palette);
    grid->setStyleSheet(QStringLiteral("QTableView { gridline-color: %1; }").arg(gridLineColour.name()));
}

} // namespace

void setUpFileGrid(QTableView *grid, QAbstractItemModel *model)
{
    grid->setModel(model);
    grid->setItemDelegate(new CellDelegate(grid));
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setStretchLastSection(false);
    grid->setColumnWidth(0, fileGridColumnWidth);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setDefaultSectionSize(qMax(16, grid->fontMetrics().height() + 3));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setTabKeyNavigation(false);
    grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    grid->setWordWrap(false);
    grid->setTextElideMode(Qt::ElideMiddle);
    grid->setGridStyle(Qt::SolidLine);
    setGridColours(grid);
}
