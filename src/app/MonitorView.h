#pragma once

#include <QAbstractItemView>

// An event monitor box: one line per row, in the order added, a vertical scroll bar and no
// horizontal one (a long line is cut at the edge). It scrolls by whole lines and, as a list
// box does, stops at its last full page: the newest line is then at the bottom, wholly seen.
//
// Every row has the same height, so that where a row stands is a multiplication away: adding
// lines to a box of two million costs no more than adding them to an empty one (a list view
// lays all its rows out again whenever rows are added).
class MonitorView : public QAbstractItemView
{
    Q_OBJECT

public:
    explicit MonitorView(QWidget* parent = nullptr);

    // Makes the last line the top visible line.
    void scrollToLast();
    // The row shown at the top, or -1 when the box is empty.
    int topRow() const;
    // The last row wholly in sight, -1 when there is none.
    int lastWholeRow() const;

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    void setModel(QAbstractItemModel* model) override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override { return 0; }
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex&) const override { return false; }
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void paintEvent(QPaintEvent* event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void rowsRemoved(const QModelIndex& parent);
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void reset() override;

private:
    int rowCount() const;
    int rowHeight() const;
    // Rows that fit in the box, the last one perhaps in part.
    int visibleRows() const;
    int m_topBeforeRemoval = 0;
    int m_removedBeforeTop = 0; // rows about to be removed above the top row
};
