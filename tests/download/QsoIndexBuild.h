#pragma once

#include "download/QsoIndex.h"

#include <QByteArray>
#include <string_view>

// Fills an index from every row of a cursor that delivers QsoIndex::columns() in their order,
// as the import reads the log: a row with a null search column, or a search text beyond
// Latin-1 (which no report text can equal), is not kept; a submode beyond Latin-1 names
// nothing.
inline void BuildQsoIndex(QsoIndex& index, Cursor& cursor)
{
    constexpr int kSubmode = 5;
    static const int at[6] = {0, 1, 2, 3, 4, 5};
    index.clear();
    QString texts[6];
    while (cursor.next()) {
        if (!QsoIndex::readTexts(cursor, at, texts))
            continue;
        QByteArray bytes[6];
        bool searchable = true;
        for (int i = 0; i < 6 && searchable; ++i) {
            bool latin1 = true;
            for (QChar c : texts[i])
                latin1 = latin1 && c.unicode() <= 0xff;
            searchable = latin1 || i == kSubmode;
            bytes[i] = latin1 ? texts[i].toLatin1() : QByteArray();
        }
        if (!searchable)
            continue;
        std::string_view views[6];
        for (int i = 0; i < 6; ++i)
            views[i] = std::string_view(bytes[i].constData(), std::size_t(bytes[i].size()));
        index.addLatin1(views, cursor.key());
    }
    index.finish();
}
