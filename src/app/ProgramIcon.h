#pragma once

#include <QIcon>

// The program's icon in every size it is drawn in (the same pictures as the installed icon).
QIcon ProgramIcon();
