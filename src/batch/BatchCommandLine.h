#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

// The command line of quorvane-cli: "[--data-dir DIR] COMMAND [OPTIONS]". Each command declares
// its options in a table (one line per option); the line is parsed and every value checked
// before the data folder is read, so a usage error never waits for the start-up checks.

struct BatchContext;
struct BatchCommandLine;
class BatchArguments;

// A command: takes the context and its parsed options, returns the exit status.
using BatchCommand = int (*)(BatchContext& context, const BatchArguments& arguments);

// One option of a command: "--name" (a flag) or "--name VALUE". A value is checked against
// [low, high] when high >= low, against the choices when there are some, and with check()
// when it is given; a missing or bad value is a usage error that says what was needed.
// Options that share a group exclude each other ("give either --all or --since, not both").
struct BatchOption
{
    const char* name;            // without the dashes
    const char* help;            // one line for --help
    const char* value = nullptr; // the value's name in the usage ("N", "DATE"); none: a flag
    int low = 0;
    int high = -1;
    std::vector<const char*> choices = {};
    const char* needs = nullptr; // what the value should be, for values that are not numbers or choices
    bool (*check)(const QString& value) = nullptr;
    const char* group = nullptr;

    bool takesValue() const { return value || !choices.empty(); }
    bool isInteger() const { return high >= low; }
};

struct BatchCommandSpec
{
    const char* name;
    const char* summary; // one line for the command list and the command's --help
    std::vector<BatchOption> options;
    BatchCommand run;
    bool needsLog = true; // loads the data folder's options and runs the start-up checks first
};

// Registers a command; one per command file, through BATCH_COMMAND(spec).
struct BatchCommandRegistration
{
    explicit BatchCommandRegistration(const BatchCommandSpec& spec);
};
#define BATCH_COMMAND(spec) static const BatchCommandRegistration registration_##spec(spec)

// The registered commands by name.
const std::map<QString, const BatchCommandSpec*>& BatchCommands();

// The options given to a command, already checked.
class BatchArguments
{
public:
    bool isSet(const char* name) const;
    QString value(const char* name) const;
    // The value of an integer option; fallback when the option is not given.
    int integer(const char* name, int fallback) const;
    // The index of the value among the option's choices; fallback when the option is not given.
    int choice(const char* name, int fallback) const;

private:
    friend BatchCommandLine ParseBatchCommandLine(const QStringList& arguments);
    const BatchOption& option(const char* name) const;
    const BatchCommandSpec* m_command = nullptr;
    QMap<QString, QString> m_values; // given options by name; flags hold an empty text
};

// The whole command line, parsed.
struct BatchCommandLine
{
    // -1: run the command; otherwise end at once with this status after printing out and err
    // (--help and --version: ExitOk with the text on stdout; a usage error: ExitUsage).
    int exitCode = -1;
    QString out;
    QString err;
    const BatchCommandSpec* command = nullptr;
    QString dataDir; // absolute; empty: the data folder of this machine
    BatchArguments arguments;
};

// Parses the arguments that follow the program's name.
BatchCommandLine ParseBatchCommandLine(const QStringList& arguments);

// "usage: quorvane-cli [--data-dir DIR] upload [--slot N] [--test] [--no-handoff]"
QString BatchCommandUsage(const BatchCommandSpec& command);

// The usage of the whole program with its options and the list of commands.
QString BatchUsage();

// "quorvane-cli 2.71"
QString BatchVersionLine();
