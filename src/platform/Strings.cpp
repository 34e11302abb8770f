#include "Strings.h"

#include "Version.h"

namespace Strings {
QString counted(qint64 count, const char* singular, const char* plural)
{
    if (count == 1 || count == -1)
        return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(singular));
    return QStringLiteral("%1 %2").arg(count).arg(plural ? QString::fromLatin1(plural)
                                                         : QString::fromLatin1(singular) + QLatin1Char('s'));
}

QString text(int id)
{
    switch (id) {
    case AppTitle: return QStringLiteral("Quorvane Version ") + Version::number();
    case VersionError: return QStringLiteral("DXbase mdb file version error");
    case LotwFileEmpty: return QStringLiteral("LoTW file is empty");
    case RequiredBlank:
        return QStringLiteral("Pse doublecheck the OPTIONS entries. One or more of the required entries is blank.");
    case TqslNotFound: return QStringLiteral("Could not find TQSL program path.");
    case EngineMissing: return QStringLiteral("dao350.dll is a missing DLL. Program will exit now.");
    default: return QString();
    }
}
}
