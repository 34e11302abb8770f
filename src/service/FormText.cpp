#include "FormText.h"

namespace FormText {

QString handedOn(const QString& text)
{
    return text.left(kHandedOn);
}

QString tq8Text(const QString& uploadAdifPath)
{
    QString tq8 = handedOn(uploadAdifPath);
    if (tq8.isEmpty())
        return tq8;
    tq8.chop(3);
    return tq8 + QLatin1String("tq8");
}

} // namespace FormText
