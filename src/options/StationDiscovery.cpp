#include "StationDiscovery.h"

#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/TextDecoding.h"

#include <QFile>
#include <QFileInfo>
#include <QOperatingSystemVersion>

#include <optional>

namespace {
bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')
           || c == QLatin1Char('\v') || c == QLatin1Char('\f');
}

QStringView trimmed(QStringView line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isBlank(line.at(begin)))
        ++begin;
    while (end > begin && isBlank(line.at(end - 1)))
        --end;
    return line.sliced(begin, end - begin);
}

// The file's text: TQSL writes its station file in UTF-8 on every system; a file that is not
// valid UTF-8 (written by hand in a Windows code page) is read as Latin-1, byte for byte.
QString decodeFile(const QByteArray& bytes)
{
    QString text = DecodeOrLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

// The text without its XML comments (an unclosed one runs to the end). The line ends inside a
// comment stay, so that the lines around it stay as they were.
QString withoutComments(const QString& text)
{
    qsizetype open = text.indexOf(QLatin1String("<!--"));
    if (open < 0)
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype pos = 0;
    while (open >= 0) {
        result.append(QStringView(text).sliced(pos, open - pos));
        const qsizetype close = text.indexOf(QLatin1String("-->"), open + 4);
        const qsizetype end = close < 0 ? text.size() : close + 3;
        for (qsizetype i = open; i < end; ++i) {
            if (text.at(i) == QLatin1Char('\n'))
                result.append(QLatin1Char('\n'));
        }
        pos = end;
        open = pos < text.size() ? text.indexOf(QLatin1String("<!--"), pos) : -1;
    }
    result.append(QStringView(text).sliced(pos));
    return result;
}

// The first position of one character at or after a position, for positions that only grow:
// each character of the line is looked at once however many tags the line holds.
class NextIndex
{
public:
    NextIndex(QStringView text, QChar c) : m_text(text), m_char(c) {}
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
    QStringView m_text;
    QChar m_char;
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

QString pieceText(QStringView line, const Piece& piece)
{
    if (piece.end < 0)
        return QString();
    return DecodeXmlText(line.sliced(piece.begin, piece.end - piece.begin));
}

// Walks one trimmed line tag by tag and fills the location from its CALL and name tags (a
// later tag replaces an earlier one). True when the line closes the location's element.
bool walkLine(QStringView line, StationLocation& location)
{
    NextIndex nextTag(line, QLatin1Char('<'));
    NextIndex callOpen(line, QLatin1Char('>'));
    NextIndex callClose(line, QLatin1Char('<'));
    NextIndex nameOpen(line, QLatin1Char('"'));
    NextIndex nameClose(line, QLatin1Char('"'));
    std::optional<Piece> call;
    std::optional<Piece> name;
    bool closed = false;
    qsizetype pos = 0;
    while (pos < line.size()) {
        QStringView rest = line.sliced(pos);
        if (rest.startsWith(QLatin1String("</StationData"))) {
            closed = true;
            break;
        }
        if (rest.startsWith(QLatin1Char('<'))) {
            ++pos;
            rest = line.sliced(pos);
        }
        if (rest.startsWith(QLatin1String("CALL")))
            call = between(pos, callOpen, callClose);
        if (rest.startsWith(QLatin1String("StationData name")))
            name = between(pos, nameOpen, nameClose);
        const qsizetype next = nextTag(pos);
        pos = next < 0 ? line.size() : next;
    }
    if (call) {
        location.call = pieceText(line, *call);
        location.hasCall = true;
    }
    if (name) {
        location.name = pieceText(line, *name);
        location.hasName = true;
    }
    return closed;
}

// The next line of the text from pos, without its line end (LF, or CR LF); false at the end.
bool nextLine(const QString& text, qsizetype& pos, QStringView& line)
{
    if (pos >= text.size())
        return false;
    qsizetype end = text.indexOf(QLatin1Char('\n'), pos);
    const qsizetype next = end < 0 ? text.size() : end + 1;
    if (end < 0)
        end = text.size();
    if (end > pos && text.at(end - 1) == QLatin1Char('\r'))
        --end;
    line = QStringView(text).sliced(pos, end - pos);
    pos = next;
    return true;
}
}

QString DecodeXmlText(QStringView text)
{
    if (!text.contains(QLatin1Char('&')))
        return text.toString();
    QString result;
    result.reserve(text.size());
    qsizetype pos = 0;
    while (pos < text.size()) {
        const QChar c = text.at(pos);
        const qsizetype semicolon = c == QLatin1Char('&') ? text.indexOf(QLatin1Char(';'), pos) : -1;
        if (semicolon < 0 || semicolon - pos > 10) {
            result.append(c);
            ++pos;
            continue;
        }
        const QStringView name = text.sliced(pos + 1, semicolon - pos - 1);
        char32_t decoded = 0;
        if (name == QLatin1String("amp"))
            decoded = '&';
        else if (name == QLatin1String("apos"))
            decoded = '\'';
        else if (name == QLatin1String("quot"))
            decoded = '"';
        else if (name == QLatin1String("lt"))
            decoded = '<';
        else if (name == QLatin1String("gt"))
            decoded = '>';
        else if (name.startsWith(QLatin1Char('#')) && name.size() > 1) {
            bool ok = false;
            const uint value = name.startsWith(QLatin1String("#x")) || name.startsWith(QLatin1String("#X"))
                                   ? name.sliced(2).toUInt(&ok, 16)
                                   : name.sliced(1).toUInt(&ok, 10);
            if (ok && value > 0 && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF))
                decoded = value;
        }
        if (decoded == 0) {
            // Not a reference XML knows: kept as it stands.
            result.append(c);
            ++pos;
            continue;
        }
        result.append(QString::fromUcs4(&decoded, 1));
        pos = semicolon + 1;
    }
    return result;
}

std::vector<StationLocation> ReadStationLocations(const QString& path, int maxCount, bool* hasText,
                                                  const std::function<void()>& pump)
{
    std::vector<StationLocation> locations;
    if (hasText)
        *hasText = false;
    // Only a file is read: a named pipe would keep the reader waiting for a writer, a device
    // could give bytes for ever.
    if (!QFileInfo(path).isFile())
        return locations;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return locations;
    const QString text = withoutComments(decodeFile(file.readAll()));
    file.close();

    // A file whose lines are all empty holds no locations at all.
    qsizetype pos = 0;
    QStringView line;
    bool anyText = false;
    while (!anyText && nextLine(text, pos, line))
        anyText = !line.isEmpty();
    if (hasText)
        *hasText = anyText;
    if (!anyText)
        return locations;

    // Each location consumes lines until its element is closed; the end of the text ends the
    // one being read.
    pos = 0;
    while (int(locations.size()) < maxCount) {
        StationLocation location;
        bool closed = false;
        bool ended = false;
        while (!closed) {
            if (!nextLine(text, pos, line)) {
                ended = true;
                break;
            }
            if (pump)
                pump();
            closed = walkLine(trimmed(line), location);
        }
        if (closed || location.hasCall || location.hasName)
            locations.push_back(location);
        if (ended)
            break;
    }
    return locations;
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
    if (!QFileInfo(path).isFile())
        return;
    bool hasText = false;
    const std::vector<StationLocation> locations = ReadStationLocations(path, kSlotCount, &hasText, pump);
    if (!hasText) {
        if (QFile(path).open(QIODevice::ReadOnly))
            messages.show(Strings::text(Strings::LotwFileEmpty));
        return;
    }
    for (size_t k = 0; k < locations.size(); ++k) {
        const StationLocation& location = locations[k];
        if (location.hasCall) {
            options.stations[k].oprCall = location.call;
            if (k == 0)
                options.logins[0].loginCall = location.call;
        }
        if (location.hasName)
            options.stations[k].location = location.name;
    }
}
