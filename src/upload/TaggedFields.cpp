#include "TaggedFields.h"

namespace {
constexpr qsizetype kMaxTag = 256;
}

void TaggedFields::feed(QByteArrayView piece, Handler& handler)
{
    m_text.append(piece.data(), piece.size());
    qsizetype at = 0;
    qint64 line = m_line;
    qsizetype counted = 0; // m_text up to here is counted in line
    const auto lineAt = [&](qsizetype position) {
        line += QByteArrayView(m_text.constData() + counted, position - counted).count('\n');
        counted = position;
        return line;
    };
    for (;;) {
        const qsizetype open = m_text.indexOf('<', at);
        if (open < 0) {
            at = m_text.size();
            break;
        }
        const qsizetype close = m_text.indexOf('>', open);
        if (close < 0 || close - open > kMaxTag) {
            if (close >= 0 || m_text.size() - open > kMaxTag)
                throw Damaged{QStringLiteral("a tag never ends")};
            at = open; // the tag's end is still to come
            break;
        }
        const QByteArrayView tag(m_text.constData() + open + 1, close - open - 1);
        const qsizetype colon = tag.indexOf(':');
        if (colon < 0) {
            handler.tag(tag, lineAt(open), m_base + open);
            at = close + 1;
            continue;
        }
        QByteArrayView length = tag.sliced(colon + 1);
        const qsizetype type = length.indexOf(':');
        if (type >= 0)
            length = length.first(type);
        bool ok = false;
        const qint64 size = length.toLongLong(&ok);
        if (!ok || size < 0 || size > m_maxValue)
            throw Damaged{QStringLiteral("the length of <%1> is not a number").arg(QString::fromLatin1(tag))};
        if (m_text.size() - (close + 1) < size) {
            at = open; // the value is still to come
            break;
        }
        handler.field(tag.first(colon), QByteArrayView(m_text.constData() + close + 1, size), lineAt(open),
                      m_base + open);
        at = close + 1 + qsizetype(size);
    }
    lineAt(at);
    m_line = line;
    m_base += at;
    m_text.remove(0, at);
}

bool TaggedFields::complete() const
{
    return !m_text.contains('<');
}
