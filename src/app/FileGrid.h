#pragma once

class QAbstractItemModel;
class QTableView;

// Gives the message-list view its grid look and behaviour: one read-only column, 1000 pixels
// wide so that long paths scroll sideways, no headers, fixed row height, pale yellow cells on a
// white ground with grey grid lines; Tab leaves the grid instead of moving between cells.
void setUpFileGrid(QTableView *grid, QAbstractItemModel *model);

constexpr int fileGridColumnWidth = 1000;
