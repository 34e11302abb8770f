#include "CBrindlewickDoc.h"

#include "platform/Errors.h"

CBrindlewickDoc::CBrindlewickDoc(const QString& sourceMdbPath)
    : m_qsoSet(std::make_unique<CQSO2006SRC>(sourceMdbPath))
{
}

CBrindlewickDoc::~CBrindlewickDoc()
{
    try {
        if (m_qsoSet->isOpen())
            m_qsoSet->close();
    } catch (const CDbException&) {
        // Closing at exit: nothing is left to report it to.
    }
}
