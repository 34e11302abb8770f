#pragma once

#include <QString>
#include <functional>

// Opens an address or a file with the system's opener (xdg-open; rundll32's file handler on
// Windows, open on macOS) and waits a few seconds for its verdict: false when there is no
// opener, it could not be started, or it ended with a failure (no browser, no program for the
// file). An opener still running after the wait is taken at its word: it has handed the
// target to a program that runs on. keepAlive is called while it waits (the window's events).
bool OpenWithSystem(const QString& target, const std::function<void()>& keepAlive = {});
