#include "platform/gui/QtDesktop.h"

#include <QUrl>
#include <gtest/gtest.h>
#include <string>

namespace {

const char* const kReport = "https://lotw.arrl.org/lotwuser/lotwreport.adi?qso_query=1&login=K1ABC&password=";

// The report address reaches the browser with the password's escapes as they were encoded,
// whatever the date field holds.
TEST(QtDesktop, BrowserAddressKeepsThePasswordEscapes)
{
    struct Case
    {
        const char* since;
        const char* sent;
    } cases[] = {
        {"2024-03-15", "2024-03-15"},
        {"20%", "20%25"},         // a lone "%" at the end
        {"100% 2024", "100%25%202024"},
        {"%2", "%252"},
        {"%41", "A"},             // a whole escape is one: an unreserved letter is sent plain
    };
    for (const Case& c : cases) {
        const QString address = QLatin1String(kReport) + QLatin1String("p%26w%2B%25%3D&qso_qsl=yes&qso_qslsince=")
                                + QLatin1String(c.since) + QLatin1String("&qso_withown=yes");
        EXPECT_EQ(QtDesktop::browserUrl(address).toEncoded().toStdString(),
                  std::string(kReport) + "p%26w%2B%25%3D&qso_qsl=yes&qso_qslsince=" + c.sent + "&qso_withown=yes")
            << c.since;
    }
}

} // namespace
