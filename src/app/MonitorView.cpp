#include "MonitorView.h"

#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>

MonitorView::MonitorView(QWidget* parent) : QAbstractItemView(parent)
{
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTextElideMode(Qt::ElideNone);
    setAutoScroll(false);
}

int MonitorView::rowCount() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int MonitorView::rowHeight() const
{
    // As the item delegate sizes a line of text: the font's height and a margin above and below.
    return qMax(1, fontMetrics().height() + 2);
}

int MonitorView::visibleRows() const
{
    const int height = viewport()->height();
    return qMax(1, (height + rowHeight() - 1) / rowHeight());
}

int MonitorView::topRow() const
{
    return rowCount() == 0 ? -1 : qMin(verticalScrollBar()->value(), rowCount() - 1);
}

int MonitorView::lastWholeRow() const
{
    if (rowCount() == 0)
        return -1;
    const int fully = qMax(1, viewport()->height() / rowHeight());
    return qMin(verticalScrollBar()->value() + fully, rowCount()) - 1;
}

void MonitorView::scrollToLast()
{
    // The last page: the newest line at the bottom of the box, whole.
    updateGeometries();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

int MonitorView::verticalOffset() const
{
    return verticalScrollBar()->value() * rowHeight();
}

QRect MonitorView::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.parent() != rootIndex() || index.column() != 0)
        return QRect();
    return QRect(0, (index.row() - verticalScrollBar()->value()) * rowHeight(), viewport()->width(), rowHeight());
}

QModelIndex MonitorView::indexAt(const QPoint& point) const
{
    if (!model() || point.y() < 0 || point.x() < 0 || point.x() >= viewport()->width())
        return QModelIndex();
    const qint64 row = qint64(verticalScrollBar()->value()) + point.y() / rowHeight();
    if (row >= rowCount())
        return QModelIndex();
    return model()->index(int(row), 0, rootIndex());
}

void MonitorView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    const int row = index.row();
    const int top = verticalScrollBar()->value();
    const int fully = qMax(1, viewport()->height() / rowHeight());
    switch (hint) {
    case PositionAtTop:
        verticalScrollBar()->setValue(row);
        break;
    case PositionAtBottom:
        verticalScrollBar()->setValue(row - fully + 1);
        break;
    case PositionAtCenter:
        verticalScrollBar()->setValue(row - fully / 2);
        break;
    case EnsureVisible:
        if (row < top)
            verticalScrollBar()->setValue(row);
        else if (row >= top + fully)
            verticalScrollBar()->setValue(row - fully + 1);
        break;
    }
}

QModelIndex MonitorView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int rows = rowCount();
    if (rows == 0)
        return QModelIndex();
    const QModelIndex current = currentIndex();
    int row = current.isValid() ? current.row() : topRow();
    const int page = qMax(1, viewport()->height() / rowHeight() - 1);
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        --row;
        break;
    case MoveDown:
    case MoveNext:
        ++row;
        break;
    case MovePageUp:
        row -= page;
        break;
    case MovePageDown:
        row += page;
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = rows - 1;
        break;
    default:
        break;
    }
    return model()->index(qBound(0, row, rows - 1), 0, rootIndex());
}

void MonitorView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    if (!selectionModel() || rowCount() == 0)
        return;
    const QRect normal = rect.normalized();
    const int top = verticalScrollBar()->value();
    const int first = qBound(0, top + normal.top() / rowHeight(), rowCount() - 1);
    const int last = qBound(0, top + normal.bottom() / rowHeight(), rowCount() - 1);
    const QItemSelection selection(model()->index(first, 0, rootIndex()),
                                   model()->index(last, 0, rootIndex()));
    selectionModel()->select(selection, command);
}

QRegion MonitorView::visualRegionForSelection(const QItemSelection& selection) const
{
    QRegion region;
    const int top = verticalScrollBar()->value();
    const int bottom = top + visibleRows();
    for (const QItemSelectionRange& range : selection) {
        const int first = qMax(range.top(), top);
        const int last = qMin(range.bottom(), bottom);
        if (first <= last)
            region += QRect(0, (first - top) * rowHeight(), viewport()->width(), (last - first + 1) * rowHeight());
    }
    return region;
}

void MonitorView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const int rows = rowCount();
    if (rows == 0)
        return;
    const int height = rowHeight();
    const int top = verticalScrollBar()->value();
    const QRect area = event->rect();
    const int first = top + qMax(0, area.top() / height);
    const int last = qMin(rows - 1, top + area.bottom() / height);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QModelIndex current = currentIndex();
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        QStyleOptionViewItem item = option;
        item.rect = QRect(0, (row - top) * height, viewport()->width(), height);
        if (selectionModel() && selectionModel()->isSelected(index))
            item.state |= QStyle::State_Selected;
        if (index == current && hasFocus())
            item.state |= QStyle::State_HasFocus;
        itemDelegateForIndex(index)->paint(&painter, item, index);
    }
}

void MonitorView::updateGeometries()
{
    // One scroll step per line; as in a list box, the box stops at its last full page, where
    // the last line is at its bottom and wholly in sight.
    const int rows = rowCount();
    const int fully = qMax(1, viewport()->height() / rowHeight());
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(1);
    bar->setPageStep(fully);
    bar->setRange(0, qMax(0, rows - fully));
    QAbstractItemView::updateGeometries();
}

void MonitorView::scrollContentsBy(int, int)
{
    viewport()->update();
}

void MonitorView::resizeEvent(QResizeEvent* event)
{
    QAbstractItemView::resizeEvent(event);
    updateGeometries();
}

void MonitorView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    if (parent != rootIndex())
        return;
    updateGeometries();
    // Only rows that come into sight need painting.
    const int top = verticalScrollBar()->value();
    if (start <= top + visibleRows())
        viewport()->update();
}

void MonitorView::setModel(QAbstractItemModel* model)
{
    if (this->model())
        disconnect(this->model(), &QAbstractItemModel::rowsRemoved, this, nullptr);
    QAbstractItemView::setModel(model);
    if (model)
        connect(model, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex& parent) { rowsRemoved(parent); });
    updateGeometries();
}

void MonitorView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    if (parent != rootIndex())
        return;
    // The rows removed above the top one move the top line up by as many rows.
    m_topBeforeRemoval = verticalScrollBar()->value();
    m_removedBeforeTop = start <= m_topBeforeRemoval ? qMin(end, m_topBeforeRemoval - 1) - start + 1 : 0;
}

void MonitorView::rowsRemoved(const QModelIndex& parent)
{
    if (parent != rootIndex())
        return;
    updateGeometries();
    verticalScrollBar()->setValue(qMax(0, m_topBeforeRemoval - m_removedBeforeTop));
    m_removedBeforeTop = 0;
    viewport()->update();
}

void MonitorView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
    viewport()->update();
}

void MonitorView::reset()
{
    QAbstractItemView::reset();
    updateGeometries();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}
