#pragma once

#include <QListView>

// An event monitor box: one line per row, in the order added, a vertical scroll bar and no
// horizontal one (a long line is cut at the edge). It scrolls by whole lines and lets the
// last line be scrolled up to the top, so that the newest line can be the top visible line.
class MonitorView : public QListView
{
    Q_OBJECT

public:
    explicit MonitorView(QWidget* parent = nullptr);

    // Makes the last line the top visible line.
    void scrollToLast();
    // The row shown at the top, or -1 when the box is empty.
    int topRow() const;

protected:
    void updateGeometries() override;
};
