#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Cuts tagged text into its fields as the text comes, in pieces of any size: a field is
// "<NAME:length>value" or "<NAME:length:type>value" (length in bytes), a bare tag is "<NAME>"
// ("<EOR>", "<EOH>"); text between them is skipped. Used for the upload file and for the
// signed file TQSL makes of it. Each field and tag comes with the line it starts on and its
// byte offset, counted from the text's beginning.
class TaggedFields
{
public:
    class Handler
    {
    public:
        virtual ~Handler() = default;
        virtual void field(QByteArrayView name, QByteArrayView value, qint64 line, qint64 offset) = 0;
        virtual void tag(QByteArrayView name, qint64 line, qint64 offset) = 0;
    };

    // Thrown for text that is not tagged fields (a tag without its end, a length that is no
    // number).
    struct Damaged
    {
        QString text;
    };

    // A tag longer than this, or a value longer than maxValue, is damage.
    explicit TaggedFields(qint64 maxValue = 16 * 1024 * 1024) : m_maxValue(maxValue) {}

    void feed(QByteArrayView piece, Handler& handler);
    // Whether the text ended between two fields (not inside a tag or a value).
    bool complete() const;

private:
    qint64 m_maxValue;
    QByteArray m_text;     // what was not cut into fields yet
    qint64 m_base = 0;     // offset of m_text's first byte
    qint64 m_line = 1;     // line of m_text's first byte
};
