#pragma once

#include "Connection.h"

#include <QByteArray>

// A row's values in few bytes: about the bytes of its texts instead of a variant and a text of
// its own for each value. Unpacking gives back exactly the values packed: the type of each, its
// nulls, and its texts character for character.
QByteArray PackRowValues(const QVariantList& values);
QVariantList UnpackRowValues(const QByteArray& packed);

// A row key kept in few bytes, for runs that keep the key of every row they will write: a key
// of a row's every value (a log known by its values) takes about the bytes of its texts
// instead of a variant and a text of its own for each of its values; a key of one or two
// values (a rowid, a primary key) is kept as it is. unpack() gives back exactly the key that
// was packed: the type of each value, its nulls, and its texts character for character.
class PackedRowKey
{
public:
    PackedRowKey() = default;
    explicit PackedRowKey(const RowKey& key);
    RowKey unpack() const;
    // Whether the values are kept packed.
    bool packed() const { return !m_values.isNull(); }
    // The bytes the packed values take.
    qsizetype packedSize() const { return m_values.size(); }

private:
    RowKey m_key;        // the rowid and the names always; the values where they are not packed
    QByteArray m_values; // the values packed
};
