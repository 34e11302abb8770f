#include "StationDiscovery.h"

#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

#include <QFile>
#include <QOperatingSystemVersion>

#include <optional>

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

// The first position of one character at or after a position, for positions that only grow:
// each byte of the line is looked at once however many tags the line holds.
class NextIndex
{
public:
    NextIndex(QByteArrayView text, char c) : m_text(text), m_char(c) {}
    qsizetype operator()(qsizetype from)
    {
        if (m_found == kNone || (m_found >= from && m_searched))
            return m_found;
        m_found = m_text.indexOf(m_char, from);
        m_searched = true;
        return m_found;
    }

private:
    static constexpr qsizetype kNone = -1;
    QByteArrayView m_text;
    char m_char;
    qsizetype m_found = 0;
    bool m_searched = false;
};

// A piece of the line: [begin, end), or nothing when end < 0.
struct Piece
{
    qsizetype begin = 0;
    qsizetype end = -1;
};

// The text after the first `open` at or after a position (all of it when there is none) up to
// the next `close`; nothing when no `close` follows.
Piece between(qsizetype pos, NextIndex& nextOpen, NextIndex& nextClose)
{
    const qsizetype open = nextOpen(pos);
    const qsizetype begin = open < 0 ? pos : open + 1;
    return Piece{begin, nextClose(begin)};
}

QString pieceText(QByteArrayView line, const Piece& piece)
{
    if (piece.end < 0)
        return QString();
    return QString::fromLatin1(line.sliced(piece.begin, piece.end - piece.begin));
}

// Walks one trimmed line tag by tag and fills the slot from its CALL and name tags (a later tag
// replaces an earlier one). True when the line closes the slot's element.
bool walkLine(QByteArrayView line, int slot, Options& options)
{
    NextIndex nextTag(line, '<');
    NextIndex callOpen(line, '>');
    NextIndex callClose(line, '<');
    NextIndex nameOpen(line, '"');
    NextIndex nameClose(line, '"');
    std::optional<Piece> call;
    std::optional<Piece> name;
    bool closed = false;
    qsizetype pos = 0;
    while (pos < line.size()) {
        QByteArrayView rest = line.sliced(pos);
        if (rest.startsWith("</StationData")) {
            closed = true;
            break;
        }
        if (rest.startsWith('<')) {
            ++pos;
            rest = line.sliced(pos);
        }
        if (rest.startsWith("CALL"))
            call = between(pos, callOpen, callClose);
        if (rest.startsWith("StationData name"))
            name = between(pos, nameOpen, nameClose);
        const qsizetype next = nextTag(pos);
        pos = next < 0 ? line.size() : next;
    }
    if (call) {
        options.stations[slot].oprCall = pieceText(line, *call);
        if (slot == 0)
            options.logins[0].loginCall = options.stations[slot].oprCall;
    }
    if (name)
        options.stations[slot].location = pieceText(line, *name);
    return closed;
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
            closed = walkLine(trimmed(line), slot, options);
        }
    }
}
