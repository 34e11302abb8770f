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
