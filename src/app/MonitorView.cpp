#include "MonitorView.h"

#include <QScrollBar>

MonitorView::MonitorView(QWidget* parent) : QListView(parent)
{
    setUniformItemSizes(true);
    setLayoutMode(QListView::SinglePass);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
}

void MonitorView::scrollToLast()
{
    if (!model())
        return;
    const int rows = model()->rowCount(rootIndex());
    if (rows > 0)
        scrollTo(model()->index(rows - 1, modelColumn(), rootIndex()), QAbstractItemView::PositionAtTop);
}

int MonitorView::topRow() const
{
    return indexAt(QPoint(1, 1)).row();
}

void MonitorView::updateGeometries()
{
    // The list view's own range ends where the last line is at the bottom and would pull a
    // box scrolled further back; keep the top line where it was.
    const int top = verticalScrollBar()->value();
    QListView::updateGeometries();
    // One scroll step per line; the range lets any line, the last included, be the top one.
    if (model()) {
        const int rows = model()->rowCount(rootIndex());
        verticalScrollBar()->setRange(0, qMax(0, rows - 1));
        verticalScrollBar()->setValue(qMin(top, qMax(0, rows - 1)));
    }
}
