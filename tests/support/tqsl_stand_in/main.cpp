// A stand-in for TQSL, for the outcomes the real program does not give at will. It is copied
// into a test's folder under the name the test wants, and does what the file beside it,
// "<program>.behaviour", tells, one instruction a line (UTF-8):
//   exit N             ends with status N (the default 0)
//   ending E           exit | hang | kill (ends as killed) | flood (megabytes of output)
//   copy PATH          copies PATH to "<program>.copy" the moment it starts
//   signed             copies "<program>.signed" to the file after "-d", its extension
//                      replaced by tq8, before it ends
//   line TEXT          writes TEXT to its standard error, as TQSL writes its messages
//   when-all-signed    when started with "-a all": copies "<program>.signed-all" as the
//                      signed file and exits 0 instead of all of the above
// Whatever it is told, it first writes its arguments to "<program>.args", one a line.
// It needs nothing but the C++ library, so that it runs from any folder on Windows too.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// Paths are handed around as UTF-8 and made into paths here, so that non-ASCII names work
// on Windows too.
fs::path pathOf(const std::string& utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string ownPath()
{
#ifdef _WIN32
    std::wstring buffer(32768, L'\0');
    const DWORD size = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
    buffer.resize(size);
    const std::u8string utf8 = fs::path(buffer).u8string();
#else
    std::string buffer(4096, '\0');
    const ssize_t size = readlink("/proc/self/exe", buffer.data(), buffer.size());
    buffer.resize(size > 0 ? size_t(size) : 0);
    const std::u8string utf8(buffer.begin(), buffer.end());
#endif
    return std::string(utf8.begin(), utf8.end());
}

void say(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool copyFile(const std::string& from, const std::string& to)
{
    std::error_code error;
    fs::copy_file(pathOf(from), pathOf(to), fs::copy_options::overwrite_existing, error);
    return !error;
}

// The signed file's place: the file after "-d" without its last extension, then ".tq8".
std::string signedFileFor(const std::vector<std::string>& arguments)
{
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "-d") {
            std::string adif = arguments[i + 1];
            const size_t dot = adif.rfind('.');
            if (dot != std::string::npos)
                adif.erase(dot);
            return adif + ".tq8";
        }
    }
    return std::string();
}

[[noreturn]] void endAsKilled()
{
    std::fflush(nullptr);
#ifdef _WIN32
    // A status in the range Windows gives a program that crashed.
    TerminateProcess(GetCurrentProcess(), 0xC0000005);
    ExitProcess(0xC0000005);
#else
    std::raise(SIGKILL);
    std::_Exit(137);
#endif
}

int run(const std::vector<std::string>& arguments)
{
    const std::string self = ownPath();
    {
        std::ofstream args(pathOf(self + ".args"), std::ios::binary | std::ios::trunc);
        for (const std::string& argument : arguments)
            args << argument << '\n';
    }

    int exitCode = 0;
    std::string ending = "exit";
    std::string copyOnStart;
    bool writesSigned = false;
    bool signsAllWhenAsked = false;
    std::vector<std::string> lines;
    std::ifstream behaviour(pathOf(self + ".behaviour"), std::ios::binary);
    for (std::string line; std::getline(behaviour, line);) {
        const size_t blank = line.find(' ');
        const std::string word = line.substr(0, blank);
        const std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        if (word == "exit")
            exitCode = std::atoi(rest.c_str());
        else if (word == "ending")
            ending = rest;
        else if (word == "copy")
            copyOnStart = rest;
        else if (word == "signed")
            writesSigned = true;
        else if (word == "line")
            lines.push_back(rest);
        else if (word == "when-all-signed")
            signsAllWhenAsked = true;
    }

    if (signsAllWhenAsked) {
        for (size_t i = 0; i + 1 < arguments.size(); ++i) {
            if (arguments[i] == "-a" && arguments[i + 1] == "all")
                return copyFile(self + ".signed-all", signedFileFor(arguments)) ? 0 : 1;
        }
    }
    if (!copyOnStart.empty())
        copyFile(copyOnStart, self + ".copy");
    say("TQSL Version 2.6.5 [stand-in]");
    if (writesSigned) {
        const std::string target = signedFileFor(arguments);
        if (target.empty() || !copyFile(self + ".signed", target))
            say("stand-in: cannot write the signed file");
    }
    for (const std::string& line : lines)
        say(line);

    if (ending == "hang") {
        std::this_thread::sleep_for(std::chrono::seconds(600));
        return 0;
    }
    if (ending == "kill")
        endAsKilled();
    if (ending == "flood") {
        // Two megabytes in one line without an end, then a hundred thousand short lines.
        const std::string wide(2000000, 'x');
        std::fwrite(wide.data(), 1, wide.size(), stderr);
        std::fputc('\n', stderr);
        for (int i = 0; i < 100000; ++i)
            std::fprintf(stderr, "line %d\n", i);
        say("Final Status: Success (0)");
        return 0;
    }
    say("Final Status: (" + std::to_string(exitCode) + ")");
    return exitCode;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::u8string utf8 = fs::path(argv[i]).u8string();
        arguments.emplace_back(utf8.begin(), utf8.end());
    }
    return run(arguments);
}
#else
int main(int argc, char** argv)
{
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
