#pragma once

#include "platform/Desktop.h"

class QUrl;
class QWidget;

// The desktop services through Qt: the default browser and file viewer, detached programs,
// the system clipboard, and a pause that keeps the window painted.
class QtDesktop : public Desktop
{
public:
    // The address as the browser receives it: its parts stand as they were put in (the
    // password keeps its escapes); a "%" that starts no escape reaches the site as "%25",
    // as a browser sends a typed one.
    static QUrl browserUrl(const QString& address);

    bool openUrl(const QString& address) override;
    bool openFile(const QString& path) override;
    void setClipboardText(const QString& text) override;
    void pause(int milliseconds) override;
};

class QtMessageBox : public MessageBox
{
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : m_parent(parent) {}
    void show(const QString& text) override;
    bool ask(const QString& text) override;
    bool askUnlessMoot(const QString& text, const std::function<bool()>& moot) override;
    void inform(const QString& text) override;
    void setParent(QWidget* parent) { m_parent = parent; }

private:
    QWidget* m_parent;
};
