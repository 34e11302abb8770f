#pragma once

#include <QMainWindow>
#include <QRect>

class QAction;
class QLabel;
class QToolBar;

// The main window: menus File/View/About, a toolbar with the About button (hidden at start),
// a status bar with the message pane and the CAP, NUM and SCRL indicators, and the form view
// in its middle.
class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);

    // Puts the form view (or any widget) in the middle of the window; the frame takes it over.
    void setView(QWidget* view);
    QWidget* view() const { return centralWidget(); }

    // Size and place of the window for a screen size: half the screen plus 291 by 340 pixels,
    // centred. The corner is kept on the screen when the screen is too small for the window.
    static QRect frameGeometryFor(const QSize& screen);
    // Sizes and places the window for the screen it is on.
    void placeOnScreen();

    QToolBar* toolBar() const { return m_toolBar; }
    QAction* toolBarAction() const { return m_toolBarAction; }
    QAction* statusBarAction() const { return m_statusBarAction; }
    QAction* aboutAction() const { return m_aboutAction; }
    QAction* exitAction() const { return m_exitAction; }

public slots:
    void OnAppAbout();

private:
    void createMenus();
    void createToolBar();
    void createStatusBar();

    QToolBar* m_toolBar = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_toolBarAction = nullptr;
    QAction* m_statusBarAction = nullptr;
    QAction* m_aboutAction = nullptr;
};
