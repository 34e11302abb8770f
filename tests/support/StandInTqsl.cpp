#include "StandInTqsl.h"

#include <QDir>
#include <QFile>
#include <stdexcept>

namespace {
// The text in single quotes for the shell.
QByteArray quoted(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('\'', "'\\''");
    return '\'' + bytes + '\'';
}
}

QString StandInTqsl::write(const QString& folder, const QString& name) const
{
    const QString path = QDir(folder).filePath(name);
    QByteArray script = "#!/bin/sh\n";
    script += "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > " + quoted(path + QStringLiteral(".args")) + "\n";
    if (!copyOnStart.isEmpty())
        script += "cp " + quoted(copyOnStart) + ' ' + quoted(path + QStringLiteral(".copy")) + "\n";
    script += "echo 'TQSL Version 2.6.5 [stand-in]' >&2\n";
    if (signedFile) {
        QFile bytes(path + QStringLiteral(".signed"));
        if (!bytes.open(QIODevice::WriteOnly | QIODevice::Truncate) || bytes.write(*signedFile) != signedFile->size())
            throw std::runtime_error("cannot write the stand-in's signed file");
        // The file after "-d", with the extension tq8 in place of its own.
        script += "adif=; take=; for a in \"$@\"; do [ -n \"$take\" ] && adif=$a; take=; [ \"$a\" = -d ] && take=1; done\n";
        script += "cp " + quoted(path + QStringLiteral(".signed")) + " \"${adif%.*}.tq8\"\n";
    }
    for (const QString& line : lines)
        script += "printf '%s\\n' " + quoted(line) + " >&2\n";
    switch (ending) {
    case Ending::Exit:
        script += "echo 'Final Status: (" + QByteArray::number(exitCode) + ")' >&2\n";
        script += "exit " + QByteArray::number(exitCode) + "\n";
        break;
    case Ending::Hang:
        script += "exec sleep 600\n";
        break;
    case Ending::KillItself:
        script += "kill -9 $$\n";
        break;
    case Ending::Flood:
        // Two megabytes in one line without an end, then a hundred thousand short lines.
        script += "head -c 2000000 /dev/zero | tr '\\0' 'x' >&2\n";
        script += "echo >&2\n";
        script += "i=0; while [ $i -lt 100000 ]; do echo \"line $i\"; i=$((i+1)); done >&2\n";
        script += "echo 'Final Status: Success (0)' >&2\n";
        script += "exit 0\n";
        break;
    }
    QFile::remove(path + QStringLiteral(".args"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(script) != script.size())
        throw std::runtime_error("cannot write the stand-in TQSL");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

QStringList StandInTqsl::receivedArguments(const QString& scriptPath)
{
    QFile file(scriptPath + QStringLiteral(".args"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!arguments.isEmpty() && arguments.last().isEmpty())
        arguments.removeLast();
    return arguments;
}

bool StandInTqsl::ran(const QString& scriptPath)
{
    return QFile::exists(scriptPath + QStringLiteral(".args"));
}
