#pragma once

#include <QByteArray>
#include <QString>

// What quorvane-cli printed, as text: its bytes in the system's 8-bit encoding (UTF-8 on Linux,
// the ANSI code page on Windows), each line ended by LF (Windows' C library writes CR LF for
// each line end of a program's standard output and error).
inline QString ProgramText(QByteArray bytes)
{
#ifdef Q_OS_WIN
    bytes.replace("\r\n", "\n");
    return QString::fromLocal8Bit(bytes);
#else
    return QString::fromUtf8(bytes);
#endif
}
