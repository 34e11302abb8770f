#include "StationDiscovery.h"

#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

#include <QFile>
#include <QOperatingSystemVersion>

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Reads the next line without its line end (LF, or CR LF); false at the end of the file.
bool readLine(QFile& file, QByteArray& line)
{
    if (file.atEnd())
        return false;
    line = file.readLine();
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return true;
}

QByteArray trimmed(const QByteArray& line)
{
    int begin = 0;
    int end = line.size();
    while (begin < end && isBlank(line.at(begin)))
        ++begin;
    while (end > begin && isBlank(line.at(end - 1)))
        --end;
    return line.mid(begin, end - begin);
}

// The text after the first `open` (all of it when there is none) up to the next `close`;
// empty when no `close` follows.
QByteArray between(const QByteArray& text, char open, char close)
{
    const QByteArray after = text.mid(text.indexOf(open) + 1);
    const int end = after.indexOf(close);
    return end < 0 ? QByteArray() : after.left(end);
}
}

DetectedVersion DetectWindowsVersion(const WindowsVersionInfo& info)
{
    DetectedVersion result;
    switch (info.platform) {
    case WindowsVersionInfo::Win32s:
        result.text = QStringLiteral("Windows %1.%2").arg(info.major).arg(info.minor);
        break;
    case WindowsVersionInfo::Windows9x:
        if (info.minor == 0)
            result.text = QStringLiteral("Windows 95");
        else if (info.minor == 10)
            result.text = QStringLiteral("Windows 98");
        else if (info.minor == 90)
            result.text = QStringLiteral("Windows Me");
        if (!result.text.isEmpty())
            result.layout = ProfileLayout::Older;
        break;
    case WindowsVersionInfo::WindowsNt:
        if (info.major == 5 && info.minor == 0) {
            result.text = QStringLiteral("Windows 2000 With %1").arg(info.servicePack);
            result.layout = ProfileLayout::Older;
        } else if (info.major == 5 && info.minor == 1) {
            result.text = QStringLiteral("Windows XP %1").arg(info.servicePack);
            result.layout = ProfileLayout::Older;
        } else if (info.major <= 4) {
            result.text = QStringLiteral("Windows NT %1.%2 with %3").arg(info.major).arg(info.minor).arg(info.servicePack);
            result.layout = ProfileLayout::Older;
        } else {
            result.text = QStringLiteral("Windows %1.%2").arg(info.major).arg(info.minor);
            result.layout = ProfileLayout::Newer;
        }
        break;
    default:
        break;
    }
    return result;
}

DetectedVersion DetectWindowsVersion(const Paths& paths)
{
#ifdef Q_OS_WIN
    Q_UNUSED(paths);
    const QOperatingSystemVersion current = QOperatingSystemVersion::current();
    WindowsVersionInfo info;
    info.platform = WindowsVersionInfo::WindowsNt;
    info.major = current.majorVersion();
    info.minor = current.minorVersion();
    return DetectWindowsVersion(info);
#else
    return DetectedVersion{paths.osVersionText(), ProfileLayout::Home};
#endif
}

QString StationDataPath(const QString& userName, ProfileLayout layout)
{
    const QString user = userName.left(127);
    switch (layout) {
    case ProfileLayout::Older:
        return QStringLiteral("C:\\Documents and Settings\\") + user
               + QStringLiteral("\\Application Data\\TrustedQSL\\station_data");
    case ProfileLayout::Newer:
        return QStringLiteral("C:\\Users\\") + user + QStringLiteral("\\AppData\\Roaming\\TrustedQSL\\station_data");
    default:
        return QString();
    }
}

QString StationDataPath(const Paths& paths, const DetectedVersion& version)
{
    if (version.layout == ProfileLayout::Home)
        return paths.tqslStationFile();
    return StationDataPath(paths.userName(), version.layout);
}

void DiscoverStations(const QString& path, Options& options, MessageBox& messages, const std::function<void()>& pump)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;

    // A file whose lines are all empty holds no locations at all.
    QByteArray line;
    bool hasText = false;
    while (!hasText && readLine(file, line))
        hasText = !line.isEmpty();
    if (!hasText) {
        messages.show(Strings::text(Strings::LotwFileEmpty));
        return;
    }

    file.seek(0);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        bool closed = false;
        while (!closed) {
            if (!readLine(file, line))
                return; // the end of the file ends every remaining slot
            if (pump)
                pump();
            QByteArray rest = trimmed(line);
            while (!rest.isEmpty()) {
                if (rest.startsWith("</StationData")) {
                    closed = true;
                    break;
                }
                if (rest.startsWith('<'))
                    rest.remove(0, 1);
                if (rest.startsWith("CALL")) {
                    const QString call = QString::fromLatin1(between(rest, '>', '<'));
                    options.stations[slot].oprCall = call;
                    if (slot == 0)
                        options.logins[0].loginCall = call;
                }
                if (rest.startsWith("StationData name"))
                    options.stations[slot].location = QString::fromLatin1(between(rest, '"', '"'));
                const int next = rest.indexOf('<');
                rest = next < 0 ? QByteArray() : rest.mid(next);
            }
        }
    }
}
