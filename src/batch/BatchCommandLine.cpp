#include "BatchCommandLine.h"

#include "BatchContext.h"
#include "platform/Version.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <stdexcept>

namespace {

const QString kProgram = QStringLiteral("quorvane-cli");

std::map<QString, const BatchCommandSpec*>& registry()
{
    static std::map<QString, const BatchCommandSpec*> commands;
    return commands;
}

QString latin1(const char* text)
{
    return QString::fromLatin1(text);
}

QString dashed(const char* name)
{
    return QStringLiteral("--") + latin1(name);
}

// The options every command and the program itself answer.
const BatchOption kHelp{.name = "help", .help = "show this help and exit"};
const BatchOption kVersion{.name = "version", .help = "show the version and exit"};
const BatchOption kDataDir{.name = "data-dir",
                           .help = "the data folder (default: $QUORVANE_DATA_DIR, else this machine's own)",
                           .value = "DIR",
                           .needs = "a folder"};

QString valueName(const BatchOption& option)
{
    if (option.value)
        return latin1(option.value);
    QStringList names;
    for (const char* choice : option.choices)
        names << latin1(choice);
    return names.join(QLatin1Char('|'));
}

// "--slot N", "--scope all|unconfirmed", "-h, --help"
QString label(const BatchOption& option)
{
    QString text = dashed(option.name);
    if (&option == &kHelp)
        text.prepend(QStringLiteral("-h, "));
    if (option.takesValue())
        text += QLatin1Char(' ') + valueName(option);
    return text;
}

// What a missing or bad value should have been: "a number from 1 to 5", "'all' or 'unconfirmed'".
QString needs(const BatchOption& option)
{
    if (option.isInteger())
        return QStringLiteral("a number from %1 to %2").arg(option.low).arg(option.high);
    if (!option.choices.empty()) {
        QStringList quoted;
        for (const char* choice : option.choices)
            quoted << QLatin1Char('\'') + latin1(choice) + QLatin1Char('\'');
        const QString last = quoted.takeLast();
        return quoted.isEmpty() ? last : quoted.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
    }
    return option.needs ? latin1(option.needs) : QStringLiteral("a value");
}

// The usage error for a value, or an empty text when the value is good. A value that looks
// like an option ("--since --print-url") means the value was left out.
QString checkValue(const BatchOption& option, const QString& value)
{
    bool good = !value.isEmpty() && !value.startsWith(QLatin1String("--"));
    if (good && option.isInteger()) {
        bool ok = false;
        const int number = value.toInt(&ok);
        good = ok && number >= option.low && number <= option.high;
    }
    if (good && !option.choices.empty()) {
        good = false;
        for (const char* choice : option.choices)
            good = good || value == latin1(choice);
    }
    if (good && option.check)
        good = option.check(value);
    return good ? QString() : dashed(option.name) + QStringLiteral(" needs ") + needs(option);
}

QString optionTable(const std::vector<const BatchOption*>& options)
{
    qsizetype width = 0;
    for (const BatchOption* option : options)
        width = std::max(width, label(*option).size());
    QString text = QStringLiteral("options:\n");
    for (const BatchOption* option : options)
        text += QStringLiteral("  ") + label(*option).leftJustified(width + 2) + latin1(option->help) + QLatin1Char('\n');
    return text;
}

// "[--slot N | --any-call] [--all | --since DATE] [--print-url]": options of one group in one bracket.
QString synopsis(const BatchCommandSpec& command)
{
    QString text = latin1(command.name);
    for (size_t i = 0; i < command.options.size(); ++i) {
        const BatchOption& option = command.options[i];
        if (option.group && i > 0 && command.options[i - 1].group && qstrcmp(option.group, command.options[i - 1].group) == 0)
            continue;
        QStringList members{label(option)};
        for (size_t j = i + 1; option.group && j < command.options.size(); ++j)
            if (command.options[j].group && qstrcmp(command.options[j].group, option.group) == 0)
                members << label(command.options[j]);
        text += QStringLiteral(" [") + members.join(QStringLiteral(" | ")) + QLatin1Char(']');
    }
    return text;
}

QString commandHelp(const BatchCommandSpec& command)
{
    std::vector<const BatchOption*> options;
    for (const BatchOption& option : command.options)
        options.push_back(&option);
    options.push_back(&kHelp);
    options.push_back(&kVersion);
    return BatchCommandUsage(command) + latin1(command.summary) + QStringLiteral("\n\n") +
           optionTable(options);
}

QCommandLineOption parserOption(const BatchOption& option)
{
    QStringList names{latin1(option.name)};
    if (&option == &kHelp)
        names.prepend(QStringLiteral("h"));
    return option.takesValue() ? QCommandLineOption(names, latin1(option.help), valueName(option))
                               : QCommandLineOption(names, latin1(option.help));
}

// The name an argument gives: "--slot=3" and "-slot" name "slot".
QString nameIn(const QString& argument)
{
    QString name = argument;
    while (name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    return name.section(QLatin1Char('='), 0, 0);
}

// Parses the arguments with the given options (arguments[0] is the program or the command).
// Returns the usage error, or an empty text when the arguments parse.
QString parse(QCommandLineParser& parser, const QStringList& arguments, const std::vector<const BatchOption*>& options)
{
    // "-slot" is "--slot", so that no single-dash argument is read as a row of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const BatchOption* option : options)
        parser.addOption(parserOption(*option));
    if (parser.parse(arguments))
        return QString();

    if (!parser.unknownOptionNames().isEmpty()) {
        const QString unknown = parser.unknownOptionNames().first();
        QString given = QStringLiteral("--") + unknown;
        for (const QString& argument : arguments.mid(1))
            if (argument.startsWith(QLatin1Char('-')) && nameIn(argument) == unknown) {
                given = argument.section(QLatin1Char('='), 0, 0);
                break;
            }
        return QStringLiteral("unknown option '%1'").arg(given);
    }
    // Otherwise a flag was given a value ("--test=1") or the last option lacks its value.
    for (const QString& argument : arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            break;
        for (const BatchOption* option : options) {
            if (!argument.startsWith(QLatin1Char('-')) || nameIn(argument) != latin1(option->name))
                continue;
            if (!option->takesValue() && argument.contains(QLatin1Char('=')))
                return dashed(option->name) + QStringLiteral(" takes no value");
            if (option->takesValue() && !argument.contains(QLatin1Char('=')) && argument == arguments.last())
                return dashed(option->name) + QStringLiteral(" needs ") + needs(*option);
        }
    }
    return parser.errorText();
}

BatchCommandLine usageError(const QString& text, const QString& usage)
{
    BatchCommandLine line;
    line.exitCode = ExitUsage;
    line.err = kProgram + QStringLiteral(": ") + text + QLatin1Char('\n') + usage;
    return line;
}

BatchCommandLine finished(const QString& out)
{
    BatchCommandLine line;
    line.exitCode = ExitOk;
    line.out = out;
    return line;
}

} // namespace

BatchCommandRegistration::BatchCommandRegistration(const BatchCommandSpec& spec)
{
    registry()[latin1(spec.name)] = &spec;
}

const std::map<QString, const BatchCommandSpec*>& BatchCommands()
{
    return registry();
}

const BatchOption& BatchArguments::option(const char* name) const
{
    if (m_command)
        for (const BatchOption& option : m_command->options)
            if (qstrcmp(option.name, name) == 0)
                return option;
    throw std::logic_error(std::string("the command has no option ") + name);
}

bool BatchArguments::isSet(const char* name) const
{
    option(name);
    return m_values.contains(latin1(name));
}

QString BatchArguments::value(const char* name) const
{
    option(name);
    return m_values.value(latin1(name));
}

int BatchArguments::integer(const char* name, int fallback) const
{
    if (!option(name).isInteger())
        throw std::logic_error(std::string("not an integer option: ") + name);
    return isSet(name) ? value(name).toInt() : fallback;
}

int BatchArguments::choice(const char* name, int fallback) const
{
    const BatchOption& chosen = option(name);
    const QString given = value(name);
    for (size_t i = 0; i < chosen.choices.size(); ++i)
        if (given == latin1(chosen.choices[i]))
            return int(i);
    return fallback;
}

QString BatchCommandUsage(const BatchCommandSpec& command)
{
    return QStringLiteral("usage: %1 [--data-dir DIR] %2\n").arg(kProgram, synopsis(command));
}

QString BatchUsage()
{
    QString text = QStringLiteral("usage: %1 [--data-dir DIR] COMMAND [OPTIONS]\n"
                                  "Runs the operations of the Quorvane window without one, on the options and\n"
                                  "saved choices of the data folder.\n\n")
                       .arg(kProgram);
    text += optionTable({&kDataDir, &kHelp, &kVersion});
    text += QStringLiteral("\ncommands:\n");
    for (const auto& [name, command] : registry())
        text += QStringLiteral("  %1\n      %2\n").arg(synopsis(*command), latin1(command->summary));
    text += QStringLiteral("\n'%1 COMMAND --help' shows a command's options.\n").arg(kProgram);
    return text;
}

QString BatchVersionLine()
{
    return kProgram + QLatin1Char(' ') + Version::number() + QLatin1Char('\n');
}

BatchCommandLine ParseBatchCommandLine(const QStringList& arguments)
{
    // The program's own options stand before the command; everything after it is the command's.
    QCommandLineParser program;
    program.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QString programError = parse(program, QStringList{kProgram} + arguments, {&kDataDir, &kHelp, &kVersion});
    if (!programError.isEmpty())
        return usageError(programError, BatchUsage());

    QString dataDir;
    if (program.isSet(latin1(kDataDir.name))) {
        const QString given = program.value(latin1(kDataDir.name));
        const QString bad = checkValue(kDataDir, given);
        if (!bad.isEmpty())
            return usageError(bad, BatchUsage());
        dataDir = QDir(given).absolutePath();
    }

    QStringList rest = program.positionalArguments();
    const auto found = rest.isEmpty() ? registry().end() : registry().find(rest.first());
    if (program.isSet(latin1(kVersion.name)))
        return finished(BatchVersionLine());
    if (program.isSet(latin1(kHelp.name)))
        return finished(found == registry().end() ? BatchUsage() : commandHelp(*found->second));
    if (rest.isEmpty()) {
        BatchCommandLine line;
        line.exitCode = ExitUsage;
        line.err = BatchUsage();
        return line;
    }
    if (found == registry().end())
        return usageError(QStringLiteral("unknown command '%1'").arg(rest.first()), BatchUsage());

    const BatchCommandSpec& command = *found->second;
    std::vector<const BatchOption*> options;
    for (const BatchOption& option : command.options)
        options.push_back(&option);
    options.push_back(&kHelp);
    options.push_back(&kVersion);
    QCommandLineParser parser;
    const QString error = parse(parser, rest, options);
    if (!error.isEmpty())
        return usageError(error, BatchCommandUsage(command));
    if (parser.isSet(latin1(kHelp.name)))
        return finished(commandHelp(command));
    if (parser.isSet(latin1(kVersion.name)))
        return finished(BatchVersionLine());
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()),
                          BatchCommandUsage(command));

    BatchCommandLine line;
    line.command = &command;
    line.dataDir = dataDir;
    line.arguments.m_command = &command;
    for (const BatchOption& option : command.options) {
        const QString name = latin1(option.name);
        if (!parser.isSet(name))
            continue;
        const QString value = option.takesValue() ? parser.value(name) : QString();
        if (option.takesValue()) {
            const QString bad = checkValue(option, value);
            if (!bad.isEmpty())
                return usageError(bad, BatchCommandUsage(command));
        }
        line.arguments.m_values.insert(name, value);
    }
    // Two options of one group: "give either --all or --since, not both".
    for (size_t i = 0; i < command.options.size(); ++i) {
        const BatchOption& first = command.options[i];
        if (!first.group || !line.arguments.m_values.contains(latin1(first.name)))
            continue;
        for (size_t j = i + 1; j < command.options.size(); ++j) {
            const BatchOption& second = command.options[j];
            if (second.group && qstrcmp(first.group, second.group) == 0 &&
                line.arguments.m_values.contains(latin1(second.name)))
                return usageError(QStringLiteral("give either %1 or %2, not both").arg(dashed(first.name), dashed(second.name)),
                                  BatchCommandUsage(command));
        }
    }
    return line;
}
