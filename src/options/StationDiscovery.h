#pragma once

#include "Options.h"

#include <QString>
#include <functional>
#include <vector>

class MessageBox;
class Paths;

// Where TQSL keeps its station data file for a Windows version.
enum class ProfileLayout {
    None,  // version not known: no path, nothing discovered
    Older, // "C:\Documents and Settings\<user>\Application Data\TrustedQSL\station_data"
    Newer, // "C:\Users\<user>\AppData\Roaming\TrustedQSL\station_data"
    Home,  // not Windows: TQSL's own file in the home folder
};

// The version record as Windows reports it.
struct WindowsVersionInfo
{
    enum Platform { Win32s = 0, Windows9x = 1, WindowsNt = 2 };
    int platform = WindowsNt;
    int major = 0;
    int minor = 0;
    QString servicePack;
};

struct DetectedVersion
{
    QString text; // shown in the options dialog (label 1114)
    ProfileLayout layout = ProfileLayout::None;
};

// The version text and profile layout of a Windows version record.
DetectedVersion DetectWindowsVersion(const WindowsVersionInfo& info);
// This machine: the record above on Windows; elsewhere the system's name and version and the
// home-folder layout.
DetectedVersion DetectWindowsVersion(const Paths& paths);

// The station data file for a user name (at most 127 characters are used) and a layout; empty
// for ProfileLayout::None and ProfileLayout::Home.
QString StationDataPath(const QString& userName, ProfileLayout layout);
// This machine's station data file for the detected version; empty when none applies.
QString StationDataPath(const Paths& paths, const DetectedVersion& version);

// One location element of TQSL's station file: its name and call, decoded from the file's
// UTF-8 and XML character references. has... tells whether the element held the tag at all.
struct StationLocation
{
    QString name;
    QString call;
    bool hasName = false;
    bool hasCall = false;
};

// Text with its XML character references decoded (&amp; &apos; &quot; &lt; &gt; and numeric
// ones); anything else that starts with "&" stays as it is.
QString DecodeXmlText(QStringView text);

// The location elements of TQSL's station file in file order, at most maxCount, walked line by
// line as TQSL writes the file: a line holding "</StationData" closes an element (the root's
// closing tag too), a tag beginning "StationData name" carries the name between its first two
// double quotes, a tag beginning "CALL" the call up to the next "<"; XML comments are skipped.
// hasText tells whether the file has a line that is not empty. An unreadable file gives none.
std::vector<StationLocation> ReadStationLocations(const QString& path, int maxCount, bool* hasText = nullptr,
                                                  const std::function<void()>& pump = {});

// Fills station slots 1 to 5 (call and location name, in file order) and the login call of
// slot 1 from TQSL's station data file. A file without any non-empty line shows message 61450.
// pump is called before each line is handled, so a window stays painted.
void DiscoverStations(const QString& path, Options& options, MessageBox& messages,
                      const std::function<void()>& pump = {});
