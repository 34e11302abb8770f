#include "CMainFrame.h"

#include "CAboutDlg.h"
#include "CBrindlewickView.h"
#include "platform/Strings.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

namespace {
const QString kReady = QStringLiteral("Ready");

// A command's status-bar prompt and its tooltip, as "prompt\ntip".
void setPrompt(QAction* action, const QString& prompt)
{
    const int cut = prompt.indexOf(QLatin1Char('\n'));
    action->setStatusTip(prompt.left(cut));
    if (cut >= 0)
        action->setToolTip(prompt.mid(cut + 1));
}
}

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(Strings::text(Strings::AppTitle));
    setDockOptions(dockOptions() | QMainWindow::AnimatedDocks);
    createMenus();
    createToolBar();
    createStatusBar();
    placeOnScreen();
}

void CMainFrame::createMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    m_optionsAction = file->addAction(QStringLiteral("&Options..."));
    m_optionsAction->setShortcut(QKeySequence::Preferences);
    setPrompt(m_optionsAction, QStringLiteral("Change the options: the log, the files, the signing stations and the LoTW "
                                              "logins\nOptions"));
    connect(m_optionsAction, &QAction::triggered, this, [this] {
        if (m_optionsHandler)
            m_optionsHandler();
    });
    file->addSeparator();
    m_undoAction = file->addAction(QStringLiteral("&Undo last upload/import..."));
    setPrompt(m_undoAction, QStringLiteral("Take the last upload or import back\nUndo"));
    m_backupAction = file->addAction(QStringLiteral("&Back up the log..."));
    setPrompt(m_backupAction, QStringLiteral("Write a copy of the log into the data folder's backup folder\nBack up"));
    file->addSeparator();
    m_exitAction = file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    setPrompt(m_exitAction, QStringLiteral("Quit the application; prompts to save documents\nExit"));

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    m_toolBarAction = view->addAction(QStringLiteral("&Toolbar"));
    m_toolBarAction->setCheckable(true);
    setPrompt(m_toolBarAction, QStringLiteral("Show or hide the toolbar\nToggle ToolBar"));
    m_statusBarAction = view->addAction(QStringLiteral("&Status Bar"));
    m_statusBarAction->setCheckable(true);
    m_statusBarAction->setChecked(true);
    setPrompt(m_statusBarAction, QStringLiteral("Show or hide the status bar\nToggle StatusBar"));

    QMenu* about = menuBar()->addMenu(QStringLiteral("&About"));
    m_aboutAction = about->addAction(QStringLiteral("&About Quorvane..."), this, &CMainFrame::OnAppAbout);
    m_aboutAction->setIcon(style()->standardIcon(QStyle::SP_TitleBarContextHelpButton));
    setPrompt(m_aboutAction, QStringLiteral("Display program information, version number and copyright\nAbout"));
}

void CMainFrame::createToolBar()
{
    m_toolBar = new QToolBar(QStringLiteral("Standard"), this);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setIconSize(QSize(16, 15));
    m_toolBar->setMovable(true);
    m_toolBar->setFloatable(true);
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_aboutAction);
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    m_toolBar->hide(); // shown only when the operator turns it on
    connect(m_toolBarAction, &QAction::toggled, m_toolBar, &QToolBar::setVisible);
    connect(m_toolBar, &QToolBar::visibilityChanged, m_toolBarAction, &QAction::setChecked);
}

void CMainFrame::createStatusBar()
{
    // No CAP, NUM and SCRL panes: nothing here could tell the keys' state, and panes that never
    // change would say what is not so.
    QStatusBar* bar = statusBar();
    m_runProgress = new QProgressBar(bar);
    m_runProgress->setObjectName(QStringLiteral("runProgressBar"));
    m_runProgress->setRange(0, 1000);
    m_runProgress->setTextVisible(false);
    m_runProgress->setMaximumWidth(160);
    m_runProgress->hide();
    bar->insertPermanentWidget(0, m_runProgress);
    // The idle prompt (or a run's progress) comes back whenever a command's prompt goes away.
    m_idlePrompt = kReady;
    connect(bar, &QStatusBar::messageChanged, bar, [this, bar](const QString& message) {
        if (message.isEmpty())
            bar->showMessage(m_idlePrompt);
    });
    bar->showMessage(kReady);
    connect(m_statusBarAction, &QAction::toggled, bar, &QStatusBar::setVisible);
}

void CMainFrame::setView(QWidget* view)
{
    setCentralWidget(view);
    if (auto* form = qobject_cast<CBrindlewickView*>(view)) {
        connect(form, &CBrindlewickView::runProgress, this, &CMainFrame::showRunProgress);
        connect(form, &CBrindlewickView::runEnded, this, &CMainFrame::showReady);
        connect(m_undoAction, &QAction::triggered, form, &CBrindlewickView::OnUndoLast);
        connect(m_backupAction, &QAction::triggered, form, &CBrindlewickView::OnBackUpLog);
    }
}

void CMainFrame::showRunProgress(const QString& text, int permille)
{
    m_idlePrompt = text;
    statusBar()->showMessage(text);
    if (permille < 0) {
        m_runProgress->setRange(0, 0); // busy, no end known
    } else {
        m_runProgress->setRange(0, 1000);
        m_runProgress->setValue(permille);
    }
    m_runProgress->show();
}

void CMainFrame::showReady()
{
    m_idlePrompt = kReady;
    m_runProgress->hide();
    m_runProgress->setRange(0, 1000);
    m_runProgress->reset();
    statusBar()->showMessage(kReady);
}

QRect CMainFrame::frameGeometryFor(const QSize& screen)
{
    const int halfWidth = screen.width() / 2;
    const int halfHeight = screen.height() / 2;
    const int left = (halfWidth - 291) / 2;
    const int top = (halfHeight - 340) / 2;
    return QRect(std::max(left, 0), std::max(top, 0), halfWidth + 291, halfHeight + 340);
}

void CMainFrame::placeOnScreen()
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    m_place = frameGeometryFor(screen->geometry().size()).translated(screen->geometry().topLeft());
    // The frame's margins are known only once the window is shown (fitFrame); until then the
    // inside takes the whole size.
    place(QMargins());
}

void CMainFrame::place(const QMargins& frame)
{
    const QSize inside = clientSizeFor(m_place.size(), frame, m_fitClient);
    resize(inside);
    // A window smaller than its worked-out place (the view needs less) stays centred in it.
    const QSize whole(inside.width() + frame.left() + frame.right(), inside.height() + frame.top() + frame.bottom());
    move(m_place.left() + std::max(0, (m_place.width() - whole.width()) / 2),
         m_place.top() + std::max(0, (m_place.height() - whole.height()) / 2));
}

QSize CMainFrame::clientSizeFor(const QSize& outer, const QMargins& frame, const QSize& fitClient)
{
    const QSize inside(outer.width() - frame.left() - frame.right(), outer.height() - frame.top() - frame.bottom());
    return inside.boundedTo(fitClient).expandedTo(QSize(0, 0));
}

void CMainFrame::resizeToFitView()
{
    if (!centralWidget())
        return;
    // The window's own size hint is the view's with the menu, status bar and shown toolbars.
    if (layout())
        layout()->invalidate();
    const QSize needed = sizeHint();
    if (width() > needed.width())
        m_fitClient.setWidth(std::min(m_fitClient.width(), needed.width()));
    if (height() > needed.height())
        m_fitClient.setHeight(std::min(m_fitClient.height(), needed.height()));
    // Shrunk about its centre: a window the screen placed in its middle stays there.
    const QSize before = size();
    const QSize after = before.boundedTo(m_fitClient);
    resize(after);
    move(pos() + QPoint((before.width() - after.width()) / 2, (before.height() - after.height()) / 2));
}

void CMainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    fitFrame();
    if (!m_frameFitted)
        QTimer::singleShot(0, this, &CMainFrame::fitFrame);
}

void CMainFrame::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    fitFrame();
}

void CMainFrame::fitFrame()
{
    if (m_frameFitted || !isVisible() || !m_place.isValid())
        return;
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    if (frame.isNull())
        return; // no frame yet, or none at all
    m_frameFitted = true;
    place(frame);
}

void CMainFrame::OnAppAbout()
{
    CAboutDlg about(this);
    about.exec();
}
