#pragma once

#include <QString>

// The program's version and home page, set once for the whole build (the project's version).
namespace Version {
inline QString number()
{
    return QStringLiteral(QUORVANE_VERSION);
}

inline QString homePage()
{
    return QStringLiteral(QUORVANE_HOMEPAGE);
}
}
