#pragma once

#include "logdb/CQSO2006SRC.h"

#include <QString>
#include <memory>

// The document: it holds the form's bound QSO recordset and a title, and has no file of its
// own (nothing is ever saved through it).
class CBrindlewickDoc
{
public:
    // sourceMdbPath: the log database the bound recordset opens when it is first opened.
    explicit CBrindlewickDoc(const QString& sourceMdbPath);
    ~CBrindlewickDoc();
    CBrindlewickDoc(const CBrindlewickDoc&) = delete;
    CBrindlewickDoc& operator=(const CBrindlewickDoc&) = delete;

    CQSO2006SRC& qsoSet() { return *m_qsoSet; }
    const QString& title() const { return m_title; }
    void setTitle(const QString& title) { m_title = title; }

private:
    std::unique_ptr<CQSO2006SRC> m_qsoSet;
    QString m_title;
};
