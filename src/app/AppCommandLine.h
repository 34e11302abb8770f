#pragma once

#include <QString>
#include <QStringList>

// The window program's own command line: "--version" and "-h/--help", answered before the
// window system is started (so they work without a display). Qt's own options (-platform,
// -style ...) are taken by the application object; anything left after it is a usage error.
struct AppCommandLine
{
    int exitCode = -1; // -1: start the window; otherwise end with it after printing out and err
    QString out;
    QString err;
};

// Before the application object: answers --version and --help, lets everything else through.
AppCommandLine AnswerAppInfoOptions(const QStringList& arguments);

// After the application object took its own options: what is left must be empty.
AppCommandLine CheckAppArguments(const QStringList& arguments);

// The same before the application object exists: Qt's own options (-platform, -style,
// -display ...) with their values are set aside first, so that a usage error is told (exit 2)
// even where no window system could be started.
AppCommandLine CheckAppArgumentsBeforeQt(const QStringList& arguments);

// Whether the window system can be reached: on a desktop of X11 or Wayland the display's
// variable must be set unless another platform (offscreen, vnc ...) is asked for with
// -platform or QT_QPA_PLATFORM. Returns the one-line message for a missing display, or an
// empty text.
QString MissingDisplay(const QStringList& arguments, const QString& platformVariable, const QString& display,
                       const QString& waylandDisplay);
