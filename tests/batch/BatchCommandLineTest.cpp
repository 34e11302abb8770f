#include "BatchCommandLine.h"
#include "BatchContext.h"
#include "platform/Version.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

QStringList words(const char* line)
{
    return QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

std::string show(const BatchCommandLine& line)
{
    return "exit " + std::to_string(line.exitCode) + "\nout: " + line.out.toStdString() + "\nerr: " + line.err.toStdString();
}

// Each command's options, as they reach the command.
TEST(BatchCommandLineTest, EachCommandsOptionsReachItChecked)
{
    {
        const BatchCommandLine line = ParseBatchCommandLine(words("upload --slot 3 --test"));
        ASSERT_EQ(line.exitCode, -1) << show(line);
        ASSERT_NE(line.command, nullptr);
        EXPECT_STREQ(line.command->name, "upload");
        EXPECT_EQ(line.arguments.integer("slot", 1), 3);
        EXPECT_TRUE(line.arguments.isSet("test"));
        EXPECT_FALSE(line.arguments.isSet("no-handoff"));
        EXPECT_TRUE(line.dataDir.isEmpty());
    }
    {
        // Defaults when an option is left out; "--name=value" and "-name" are the same option.
        const BatchCommandLine line = ParseBatchCommandLine(words("upload -no-handoff"));
        ASSERT_EQ(line.exitCode, -1) << show(line);
        EXPECT_EQ(line.arguments.integer("slot", 1), 1);
        EXPECT_TRUE(line.arguments.isSet("no-handoff"));
        EXPECT_EQ(ParseBatchCommandLine(words("upload --slot=5")).arguments.integer("slot", 1), 5);
    }
    {
        const BatchCommandLine line = ParseBatchCommandLine(words("--data-dir rel/dir import --scope unconfirmed --keep"));
        ASSERT_EQ(line.exitCode, -1) << show(line);
        EXPECT_STREQ(line.command->name, "import");
        EXPECT_EQ(line.dataDir, QDir::current().absoluteFilePath(QStringLiteral("rel/dir")));
        EXPECT_EQ(line.arguments.choice("scope", -1), 1);
        EXPECT_TRUE(line.arguments.isSet("keep"));
        EXPECT_FALSE(line.arguments.isSet("overwrite"));
        EXPECT_EQ(ParseBatchCommandLine(words("import --scope all")).arguments.choice("scope", -1), 0);
        EXPECT_EQ(ParseBatchCommandLine(words("import")).arguments.choice("scope", -1), -1);
    }
    {
        const BatchCommandLine line = ParseBatchCommandLine(words("request --any-call --since 2024-02-29 --print-url"));
        ASSERT_EQ(line.exitCode, -1) << show(line);
        EXPECT_TRUE(line.arguments.isSet("any-call"));
        EXPECT_EQ(line.arguments.value("since"), QStringLiteral("2024-02-29"));
        EXPECT_TRUE(line.arguments.isSet("print-url"));
        EXPECT_FALSE(line.arguments.isSet("all"));
        EXPECT_EQ(line.arguments.integer("slot", 0), 0);
    }
    // A "since" is a date or LoTW's own date and time; anything else is a usage error, so that
    // nothing is asked and nothing saved.
    EXPECT_EQ(ParseBatchCommandLine(QStringList{QStringLiteral("request"), QStringLiteral("--since"),
                                                QStringLiteral("2026-03-14 17:58:41")})
                  .arguments.value("since"),
              QStringLiteral("2026-03-14 17:58:41"));
    for (const char* bad : {"2023-1-1&x", "2026-13-45", "2026-03-14 24:00:00", "2026-03-14T17:58:41"})
        EXPECT_EQ(ParseBatchCommandLine(QStringList{QStringLiteral("request"), QStringLiteral("--since"),
                                                    QString::fromLatin1(bad)})
                      .exitCode,
                  2)
            << bad;
    for (const char* given : {"demo --qsos 0", "demo --qsos 10000000"}) {
        const BatchCommandLine line = ParseBatchCommandLine(words(given));
        ASSERT_EQ(line.exitCode, -1) << given << show(line);
        EXPECT_EQ(line.arguments.integer("qsos", 2000), words(given).last().toInt()) << given;
    }
    // The last of a repeated option counts, as the old parser had it.
    EXPECT_EQ(ParseBatchCommandLine(words("upload --slot 2 --slot 4")).arguments.integer("slot", 1), 4);
}

// Every usage error ends with status 2 before anything is read, names its cause and shows the usage.
TEST(BatchCommandLineTest, UsageErrorsNameTheirCause)
{
    struct Case
    {
        const char* arguments;
        const char* message;
        const char* usage; // the usage line shown after the message
    };
    const Case cases[] = {
        {"", "usage: quorvane-cli [--data-dir DIR] COMMAND", "commands:"},
        {"--bogus import", "quorvane-cli: unknown option '--bogus'", "commands:"},
        {"--data-dir", "quorvane-cli: --data-dir needs a folder", "commands:"},
        {"--data-dir= import", "--data-dir needs a folder", "commands:"},
        {"--data-dir /tmp", "usage: quorvane-cli [--data-dir DIR] COMMAND", "commands:"},
        {"frobnicate", "unknown command 'frobnicate'", "commands:"},
        {"Upload", "unknown command 'Upload'", "commands:"},
        {"import --bogus", "quorvane-cli: unknown option '--bogus'", "] import [--scope all|unconfirmed]"},
        {"import -x", "unknown option '-x'", "] import "},
        {"import --bogus=1", "unknown option '--bogus'", "] import "},
        {"import --data-dir /tmp", "unknown option '--data-dir'", "] import "},
        {"import now", "unexpected argument 'now'", "] import "},
        {"import -- --keep", "unexpected argument '--keep'", "] import "},
        {"import --scope", "--scope needs 'all' or 'unconfirmed'", "] import "},
        {"import --scope ALL", "--scope needs 'all' or 'unconfirmed'", "] import "},
        {"import --overwrite --keep", "give either --overwrite or --keep, not both", "] import "},
        {"import --keep --overwrite", "give either --overwrite or --keep, not both", "] import "},
        {"upload --slot", "--slot needs a number from 1 to 5", "] upload [--slot N] [--test] [--no-handoff | --tqsl-upload]"},
        {"upload --no-handoff --tqsl-upload", "give either --no-handoff or --tqsl-upload, not both", "] upload "},
        {"upload --tqsl-timeout 5", "--tqsl-timeout needs a number from 10 to 86400", "] upload "},
        {"upload --passphrase-file", "--passphrase-file needs", "] upload "},
        {"upload --slot 0", "--slot needs a number from 1 to 5", "] upload "},
        {"upload --slot 6", "--slot needs a number from 1 to 5", "] upload "},
        {"upload --slot -1", "--slot needs a number from 1 to 5", "] upload "},
        {"upload --slot two", "--slot needs a number from 1 to 5", "] upload "},
        {"upload --slot 2x", "--slot needs a number from 1 to 5", "] upload "},
        {"upload --slot --test", "--slot needs a number from 1 to 5", "] upload "},
        {"upload --test=yes", "--test takes no value", "] upload "},
        {"upload --tests", "unknown option '--tests'", "] upload "},
        {"request --since", "--since needs a date (YYYY-MM-DD)", "] request [--slot N | --any-call]"},
        {"request --since --print-url", "--since needs a date (YYYY-MM-DD)", "] request "},
        {"request --all --since 2023-01-01", "give either --all or --since, not both", "] request "},
        {"request --slot 2 --any-call", "give either --slot or --any-call, not both", "] request "},
        {"demo --qsos 10000001", "--qsos needs a number from 0 to 10000000", "] demo [--qsos N]"},
        {"demo --qsos -5", "--qsos needs a number from 0 to 10000000", "] demo "},
    };
    for (const Case& c : cases) {
        const BatchCommandLine line = ParseBatchCommandLine(words(c.arguments));
        EXPECT_EQ(line.exitCode, ExitUsage) << c.arguments << show(line);
        EXPECT_EQ(line.command, nullptr) << c.arguments;
        EXPECT_TRUE(line.out.isEmpty()) << c.arguments << show(line);
        EXPECT_TRUE(line.err.contains(QString::fromLatin1(c.message))) << c.arguments << show(line);
        EXPECT_TRUE(line.err.contains(QString::fromLatin1(c.usage))) << c.arguments << show(line);
    }
}

// --help and --version before and after any command: status 0, text on stdout only, one help
// line for each option of the command.
TEST(BatchCommandLineTest, HelpAndVersionOnEveryCommand)
{
    const QString version = QStringLiteral("quorvane-cli ") + Version::number() + QLatin1Char('\n');
    EXPECT_EQ(ParseBatchCommandLine(words("--version")).out, version);
    EXPECT_EQ(Version::number(), QStringLiteral("2.71"));

    const BatchCommandLine help = ParseBatchCommandLine(words("--help"));
    EXPECT_EQ(help.exitCode, ExitOk);
    EXPECT_TRUE(help.err.isEmpty());
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: quorvane-cli [--data-dir DIR] COMMAND [OPTIONS]\n")));
    for (const char* option : {"\n  --data-dir DIR  ", "\n  -h, --help  ", "\n  --version  "})
        EXPECT_TRUE(help.out.contains(QString::fromLatin1(option))) << option << help.out.toStdString();
    EXPECT_EQ(ParseBatchCommandLine(words("-h")).out, help.out);

    EXPECT_EQ(ParseBatchCommandLine(words("upload --slot 9 --help")).exitCode, ExitOk);
    ASSERT_EQ(BatchCommands().size(), 7u);
    for (const auto& [name, command] : BatchCommands()) {
        const QString synopsis = BatchCommandUsage(*command).mid(QStringLiteral("usage: quorvane-cli [--data-dir DIR] ").size());
        EXPECT_TRUE(help.out.contains(QStringLiteral("\n  ") + synopsis)) << synopsis.toStdString();
        // Help wins over bad values and stray arguments; it reads no data folder.
        for (const QString& asked : {name + QStringLiteral(" --help"), name + QStringLiteral(" -h stray"),
                                     QStringLiteral("--data-dir /nonexistent --help ") + name}) {
            const BatchCommandLine line = ParseBatchCommandLine(asked.split(QLatin1Char(' ')));
            EXPECT_EQ(line.exitCode, ExitOk) << asked.toStdString() << show(line);
            EXPECT_TRUE(line.err.isEmpty()) << asked.toStdString();
            EXPECT_TRUE(line.out.startsWith(BatchCommandUsage(*command))) << asked.toStdString() << show(line);
            const QStringList lines = line.out.split(QLatin1Char('\n'));
            for (const BatchOption& option : command->options) {
                const QString start = QStringLiteral("  --") + QString::fromLatin1(option.name) + QLatin1Char(' ');
                EXPECT_EQ(lines.filter(start).size(), 1) << name.toStdString() << " " << option.name;
                EXPECT_TRUE(line.out.contains(QString::fromLatin1(option.help))) << option.name;
            }
            EXPECT_EQ(lines.filter(QStringLiteral("  -h, --help ")).size(), 1);
            EXPECT_EQ(lines.filter(QStringLiteral("  --version ")).size(), 1);
        }
        const BatchCommandLine asked = ParseBatchCommandLine({name, QStringLiteral("--version")});
        EXPECT_EQ(asked.exitCode, ExitOk);
        EXPECT_EQ(asked.out, version);
    }
}

// A command asking for an option it does not declare is a fault of the program, not of the user.
TEST(BatchCommandLineTest, AnUndeclaredOptionIsAProgramFault)
{
    const BatchCommandLine line = ParseBatchCommandLine(words("upload"));
    ASSERT_EQ(line.exitCode, -1);
    EXPECT_THROW(line.arguments.isSet("since"), std::logic_error);
    EXPECT_THROW(line.arguments.integer("test", 0), std::logic_error);
}

// The man page describes every command and every option the program takes.
TEST(BatchCommandLineTest, TheManPageNamesEveryCommandAndOption)
{
    QFile page(QStringLiteral(QUORVANE_CLI_MAN_PAGE));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << QUORVANE_CLI_MAN_PAGE;
    const QString text = QString::fromLatin1(page.readAll());
    for (const auto& [name, command] : BatchCommands()) {
        EXPECT_TRUE(text.contains(QStringLiteral(".SS \"") + name)) << name.toStdString();
        for (const BatchOption& option : command->options) {
            const QString roff = QStringLiteral(".B") + QString::fromLatin1(option.takesValue() ? "I" : "") +
                                 QStringLiteral(" \\-\\-") + QString::fromLatin1(option.name).replace(QLatin1Char('-'), QStringLiteral("\\-"));
            EXPECT_TRUE(text.contains(roff)) << roff.toStdString();
        }
    }
}

} // namespace
