#include "AppCommandLine.h"

#include "platform/Version.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace {

const QCommandLineOption kHelp(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                               QStringLiteral("show this help and exit"));
const QCommandLineOption kVersion(QStringLiteral("version"), QStringLiteral("show the version and exit"));

QString usage()
{
    return QStringLiteral("usage: quorvane [--version] [-h | --help]\n"
                          "Starts the Quorvane window: LoTW upload and import for the DXbase log.\n"
                          "The options dialog comes first; the data folder is $QUORVANE_DATA_DIR, else\n"
                          "this machine's own. quorvane-cli runs the same operations without a window.\n\n"
                          "options:\n"
                          "  -h, --help  show this help and exit\n"
                          "  --version   show the version and exit\n");
}

// arguments[0] is the program.
bool parse(QCommandLineParser& parser, const QStringList& arguments)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(kHelp);
    parser.addOption(kVersion);
    return parser.parse(arguments);
}

} // namespace

AppCommandLine AnswerAppInfoOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parse(parser, arguments); // options of Qt's own are not known here: they are left for later
    AppCommandLine line;
    if (parser.isSet(kVersion)) {
        line.exitCode = 0;
        line.out = QStringLiteral("quorvane ") + Version::number() + QLatin1Char('\n');
    } else if (parser.isSet(kHelp)) {
        line.exitCode = 0;
        line.out = usage();
    }
    return line;
}

AppCommandLine CheckAppArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    AppCommandLine line;
    QString bad;
    if (!parse(parser, arguments)) {
        bad = parser.errorText();
        if (!parser.unknownOptionNames().isEmpty()) {
            // Named as it was typed ("-x", "--bogus").
            const QString name = parser.unknownOptionNames().first();
            QString given = QStringLiteral("--") + name;
            for (const QString& argument : arguments.mid(1)) {
                const QString option = argument.section(QLatin1Char('='), 0, 0);
                if (option.startsWith(QLatin1Char('-')) && QString(option).remove(QLatin1Char('-')) == name) {
                    given = option;
                    break;
                }
            }
            bad = QStringLiteral("unknown option '%1'").arg(given);
        }
    } else if (!parser.positionalArguments().isEmpty())
        bad = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
    if (!bad.isEmpty()) {
        line.exitCode = 2;
        line.err = QStringLiteral("quorvane: ") + bad + QLatin1Char('\n') + usage();
    }
    return line;
}

namespace {

// Qt's own options that take a value ("-style fusion" or "-style=fusion").
const QStringList& qtOptionsWithValue()
{
    static const QStringList names = {
        QStringLiteral("platform"),     QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
        QStringLiteral("plugin"),       QStringLiteral("qwindowgeometry"),    QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"), QStringLiteral("session"),            QStringLiteral("style"),
        QStringLiteral("stylesheet"),   QStringLiteral("display"),            QStringLiteral("geometry"),
        QStringLiteral("title"),        QStringLiteral("name"),               QStringLiteral("visual"),
        QStringLiteral("ncols"),        QStringLiteral("cmap"),               QStringLiteral("qmljsdebugger"),
    };
    return names;
}

// Qt's own options without a value.
const QStringList& qtFlags()
{
    static const QStringList names = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                      QStringLiteral("nograb"), QStringLiteral("dograb"), QStringLiteral("sync")};
    return names;
}

// The name of an option as Qt reads it: one or two dashes, the value after "=" apart.
QString qtName(const QString& argument)
{
    QString name = argument.section(QLatin1Char('='), 0, 0);
    while (name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    return name;
}

} // namespace

AppCommandLine CheckAppArgumentsBeforeQt(const QStringList& arguments)
{
    QStringList left;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (i == 0 || !argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("--")) {
            left.append(argument);
            continue;
        }
        const QString name = qtName(argument);
        if (qtOptionsWithValue().contains(name)) {
            if (!argument.contains(QLatin1Char('=')))
                ++i; // its value
            continue;
        }
        if (qtFlags().contains(name))
            continue;
        left.append(argument);
    }
    return CheckAppArguments(left);
}

QString MissingDisplay(const QStringList& arguments, const QString& platformVariable, const QString& display,
                       const QString& waylandDisplay)
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    Q_UNUSED(arguments);
    Q_UNUSED(platformVariable);
    Q_UNUSED(display);
    Q_UNUSED(waylandDisplay);
    return QString();
#else
    QString platform = platformVariable;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (qtName(arguments.at(i)) != QLatin1String("platform") || !arguments.at(i).startsWith(QLatin1Char('-')))
            continue;
        platform = arguments.at(i).contains(QLatin1Char('=')) ? arguments.at(i).section(QLatin1Char('='), 1)
                                                               : arguments.value(i + 1);
    }
    // "xcb", "wayland", or none given (Qt then takes the desktop's own), possibly with
    // fallbacks ("wayland;xcb") or plugin options ("xcb:option").
    bool needsDesktop = platform.isEmpty();
    for (const QString& one : platform.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString plugin = one.section(QLatin1Char(':'), 0, 0).trimmed();
        if (plugin == QLatin1String("xcb") || plugin.startsWith(QLatin1String("wayland")))
            needsDesktop = true;
        else
            return QString(); // offscreen, vnc, eglfs ...: no desktop needed
    }
    if (!needsDesktop || !display.isEmpty() || !waylandDisplay.isEmpty())
        return QString();
    return QStringLiteral("quorvane: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
                          "set); run it in a desktop session, or use quorvane-cli, which runs the same operations "
                          "without a window.\n");
#endif
}
