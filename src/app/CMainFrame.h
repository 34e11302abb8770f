#pragma once

#include <QMainWindow>
#include <functional>
#include <QMargins>
#include <QRect>

class QAction;
class QLabel;
class QProgressBar;
class QToolBar;

// The main window: menus File/View/About, a toolbar with the About button (hidden at start),
// a status bar with the message pane and the CAP, NUM and SCRL indicators, and the form view
// in its middle. While an operation of the form runs, the message pane shows its progress
// and a progress bar stands beside it; "Ready" comes back when it ends.
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
    // The size is the whole window's, its frame and title bar included.
    static QRect frameGeometryFor(const QSize& screen);
    // Sizes and places the window for the screen it is on.
    void placeOnScreen();
    // The size of the window's inside for a whole-window size, the frame's margins and the
    // largest inside that fits the view (see resizeToFitView).
    static QSize clientSizeFor(const QSize& outer, const QMargins& frame, const QSize& fitClient);
    // Lays the window out again and shrinks it, never grows it, where its inside is larger
    // than the view needs, about its centre.
    void resizeToFitView();

    QToolBar* toolBar() const { return m_toolBar; }
    QAction* toolBarAction() const { return m_toolBarAction; }
    QAction* statusBarAction() const { return m_statusBarAction; }
    QAction* aboutAction() const { return m_aboutAction; }
    QAction* exitAction() const { return m_exitAction; }
    QProgressBar* runProgressBar() const { return m_runProgress; }
    QAction* optionsAction() const { return m_optionsAction; }
    // What File > Options... does (the program's: the same dialog as at start).
    void setOptionsHandler(std::function<void()> handler) { m_optionsHandler = std::move(handler); }

public slots:
    void OnAppAbout();
    // A run's status line and how far it has come in thousandths (-1: not known).
    void showRunProgress(const QString& text, int permille);
    // No run any more: "Ready".
    void showReady();

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // Once the window system has put its frame around the window, takes the frame's margins
    // off the inside so that the whole window has the size worked out from the screen.
    void fitFrame();
    // Sizes the window for its worked-out place less the frame's margins, centred in it.
    void place(const QMargins& frame);

    void createMenus();
    void createToolBar();
    void createStatusBar();

    QToolBar* m_toolBar = nullptr;
    QAction* m_optionsAction = nullptr;
    std::function<void()> m_optionsHandler;
    QAction* m_undoAction = nullptr;
    QAction* m_backupAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_toolBarAction = nullptr;
    QAction* m_statusBarAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QProgressBar* m_runProgress = nullptr;
    QString m_idlePrompt;   // what the message pane shows when no command's prompt is shown
    QRect m_place;          // the whole window's place on the screen
    QSize m_fitClient{QWIDGETSIZE_MAX, QWIDGETSIZE_MAX}; // largest inside the view needs
    bool m_frameFitted = false;
};
