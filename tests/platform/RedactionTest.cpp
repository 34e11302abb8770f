#include "platform/Redaction.h"

#include <gtest/gtest.h>

#include <QtGlobal>

namespace {

QString S(const char* text) { return QString::fromLatin1(text); }

TEST(MaskPasswords, EveryPasswordParameter)
{
    struct Case { const char* in; const char* out; };
    const Case cases[] = {
        {"https://lotw.arrl.org/lotwuser/upload?login=K1ABC&password=se%26cret",
         "https://lotw.arrl.org/lotwuser/upload?login=K1ABC&password=********"},
        {"Unable to detect a web browser to launch 'https://x/y?login=A&password=p%25w&qso_qsl=yes'",
         "Unable to detect a web browser to launch 'https://x/y?login=A&password=********&qso_qsl=yes'"},
        {"a?PASSWORD=abc b?password=def#frag", "a?PASSWORD=******** b?password=********#frag"},
        {"password= and password=", "password=******** and password=********"},
        {"no secret here", "no secret here"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MaskPasswords(S(c.in)), S(c.out)) << c.in;
}

// Qt's own warnings reach the output masked.
QString lastMessage;
void recordingHandler(QtMsgType, const QMessageLogContext&, const QString& message) { lastMessage = message; }

TEST(MaskPasswords, QtWarningsAreMasked)
{
    QtMessageHandler before = qInstallMessageHandler(recordingHandler);
    InstallPasswordMaskingMessageHandler();
    qWarning("Unable to detect a web browser to launch '%s'", "https://h/p?login=K1ABC&password=topsecret");
    EXPECT_EQ(lastMessage, S("Unable to detect a web browser to launch 'https://h/p?login=K1ABC&password=********'"));
    qInstallMessageHandler(before);
}

} // namespace
