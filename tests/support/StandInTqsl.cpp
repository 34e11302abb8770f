#include "StandInTqsl.h"

#include <QDir>
#include <QFile>
#include <stdexcept>

namespace {
#ifdef Q_OS_WIN
const QString kProgramSuffix = QStringLiteral(".exe");
#else
const QString kProgramSuffix;
#endif

// A path as given to write (the folder and "tqsl") or as it returned it.
QString withSuffix(const QString& path)
{
    return path.endsWith(kProgramSuffix) ? path : path + kProgramSuffix;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}
}

QString StandInTqsl::programPath(const QString& folder, const QString& name)
{
    return withSuffix(QDir(folder).filePath(name));
}

QString StandInTqsl::write(const QString& folder, const QString& name) const
{
    const QString path = programPath(folder, name);
    QByteArray behaviour = "exit " + QByteArray::number(exitCode) + "\n";
    switch (ending) {
    case Ending::Exit:
        behaviour += "ending exit\n";
        break;
    case Ending::Hang:
        behaviour += "ending hang\n";
        break;
    case Ending::KillItself:
        behaviour += "ending kill\n";
        break;
    case Ending::Flood:
        behaviour += "ending flood\n";
        break;
    }
    if (!copyOnStart.isEmpty())
        behaviour += "copy " + copyOnStart.toUtf8() + "\n";
    if (signedFile) {
        writeFile(path + QStringLiteral(".signed"), *signedFile);
        behaviour += "signed\n";
    }
    if (signedFileWhenSigningAll) {
        writeFile(path + QStringLiteral(".signed-all"), *signedFileWhenSigningAll);
        behaviour += "when-all-signed\n";
    }
    for (const QString& line : lines)
        behaviour += "line " + line.toUtf8() + "\n";
    writeFile(path + QStringLiteral(".behaviour"), behaviour);

    QFile::remove(path + QStringLiteral(".args"));
    QFile::remove(path);
    if (!QFile::copy(QStringLiteral(QUORVANE_TQSL_STAND_IN), path))
        throw std::runtime_error("cannot copy the stand-in TQSL to " + path.toStdString());
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

QStringList StandInTqsl::receivedArguments(const QString& programPath)
{
    QFile file(withSuffix(programPath) + QStringLiteral(".args"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!arguments.isEmpty() && arguments.last().isEmpty())
        arguments.removeLast();
    return arguments;
}

bool StandInTqsl::ran(const QString& programPath)
{
    return QFile::exists(withSuffix(programPath) + QStringLiteral(".args"));
}
