#include "ProgramIcon.h"

QIcon ProgramIcon()
{
    Q_INIT_RESOURCE(AppIcon);
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/appicon/quorvane-%1.png").arg(size), QSize(size, size));
    return icon;
}
