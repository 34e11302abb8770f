#include "PackedRowKey.h"

#include "platform/Varint.h"

#include <QDataStream>
#include <QIODevice>
#include <cstring>

namespace {

// What each packed value begins with.
enum Tag : char {
    Invalid = 0,    // no value at all
    NullText = 1,   // a null text
    Latin1Text = 2, // a text of characters below 256: its length, then a byte for each
    Utf16Text = 3,  // any other text: its length, then two bytes for each UTF-16 unit
    LongLong = 4,   // a 64-bit integer: eight bytes
    Int = 5,        // a 32-bit integer: four bytes
    Other = 6,      // any other value: its length, then the value as QDataStream writes it
};

constexpr qsizetype kPackFrom = 3; // keys of fewer values are kept as they are

bool isLatin1(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xff)
            return false;
    }
    return true;
}

} // namespace

QByteArray PackRowValues(const QVariantList& values)
{
    QByteArray packed("", 0); // not null, even for no values
    Varint::append(packed, quint64(values.size()));
    for (const QVariant& v : values) {
        if (!v.isValid()) {
            packed.append(char(Invalid));
        } else if (v.typeId() == QMetaType::QString) {
            const QString& text = *static_cast<const QString*>(v.constData());
            if (text.isNull()) {
                packed.append(char(NullText));
            } else if (isLatin1(text)) {
                packed.append(char(Latin1Text));
                Varint::append(packed, quint64(text.size()));
                packed.append(text.toLatin1());
            } else {
                packed.append(char(Utf16Text));
                Varint::append(packed, quint64(text.size()));
                packed.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
            }
        } else if (v.typeId() == QMetaType::LongLong) {
            const qint64 n = v.toLongLong();
            packed.append(char(LongLong));
            packed.append(reinterpret_cast<const char*>(&n), sizeof n);
        } else if (v.typeId() == QMetaType::Int) {
            const qint32 n = v.toInt();
            packed.append(char(Int));
            packed.append(reinterpret_cast<const char*>(&n), sizeof n);
        } else {
            QByteArray value;
            QDataStream out(&value, QIODevice::WriteOnly);
            out << v;
            packed.append(char(Other));
            Varint::append(packed, quint64(value.size()));
            packed.append(value);
        }
    }
    return packed;
}

QVariantList UnpackRowValues(const QByteArray& packed)
{
    QVariantList values;
    const char* in = packed.constData();
    const qsizetype count = qsizetype(Varint::get(in));
    values.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const char tag = *in++;
        switch (tag) {
        case Invalid:
            values.append(QVariant());
            break;
        case NullText:
            values.append(QVariant(QString()));
            break;
        case Latin1Text: {
            const qsizetype size = qsizetype(Varint::get(in));
            values.append(QVariant(QString::fromLatin1(in, size)));
            in += size;
            break;
        }
        case Utf16Text: {
            const qsizetype size = qsizetype(Varint::get(in));
            QString text(size, Qt::Uninitialized);
            std::memcpy(text.data(), in, size_t(size) * 2);
            values.append(QVariant(text));
            in += size * 2;
            break;
        }
        case LongLong: {
            qint64 n = 0;
            std::memcpy(&n, in, sizeof n);
            values.append(QVariant(n));
            in += sizeof n;
            break;
        }
        case Int: {
            qint32 n = 0;
            std::memcpy(&n, in, sizeof n);
            values.append(QVariant(n));
            in += sizeof n;
            break;
        }
        default: {
            const qsizetype size = qsizetype(Varint::get(in));
            QDataStream stream(QByteArray::fromRawData(in, size));
            QVariant v;
            stream >> v;
            values.append(v);
            in += size;
            break;
        }
        }
    }
    return values;
}

PackedRowKey::PackedRowKey(const RowKey& key)
{
    m_key.rowid = key.rowid;
    m_key.names = key.names;
    if (key.values.size() < kPackFrom)
        m_key.values = key.values;
    else
        m_values = PackRowValues(key.values);
}

RowKey PackedRowKey::unpack() const
{
    if (!packed())
        return m_key;
    RowKey key;
    key.rowid = m_key.rowid;
    key.names = m_key.names;
    key.values = UnpackRowValues(m_values);
    return key;
}
