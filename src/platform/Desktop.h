#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// The desktop services an operation may ask for: the browser, a file viewer, the clipboard and
// a modal message. (TQSL is started and watched by the upload itself.)
class Desktop
{
public:
    virtual ~Desktop() = default;
    // Opens an address in the default browser; false when no browser could be started. The
    // address may carry a password: it never reaches a log line or a message.
    virtual bool openUrl(const QString& address) = 0;
    // Opens a local file with the program the desktop associates with it; false when none
    // could be started.
    virtual bool openFile(const QString& path) = 0;
    // Puts text on the clipboard.
    virtual void setClipboardText(const QString& text) = 0;
    // Whether the operator has a clipboard to paste from (the batch command has none: what
    // would go there is only told).
    virtual bool hasClipboard() const { return true; }
    // Waits the given time while keeping the window alive.
    virtual void pause(int milliseconds) = 0;
};

// A modal message with the application title, an OK button and a warning icon.
class MessageBox
{
public:
    virtual ~MessageBox() = default;
    virtual void show(const QString& text) = 0;
    // A modal question with the application title and the buttons Yes and No (the default);
    // true when the operator answers Yes.
    virtual bool ask(const QString& text) = 0;
    // The same question, closed as answered Yes once moot() tells that it no longer needs an
    // answer (what it asked about has happened by itself meanwhile).
    virtual bool askUnlessMoot(const QString& text, const std::function<bool()>& moot)
    {
        (void)moot;
        return ask(text);
    }
    // A modal message that tells of something done, with the information icon.
    virtual void inform(const QString& text) { show(text); }
};
