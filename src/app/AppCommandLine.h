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
