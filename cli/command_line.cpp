// The companion tools' command line: option reading with its error lines, and the guarded main.
#include "cli/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "cli/tool_messages.h"
#include "zem_version.h"

OptionReader::OptionReader(int argc, char** argv, const char* shortOptions, const option* longOptions)
    : argc_(argc), argv_(argv), shortOptions_(std::string(":") + shortOptions), longOptions_(longOptions)
{
    optind = 0;  // a fresh scan, also when options were read before in this process
    opterr = 0;  // our own words, after the tool's name, whatever path the program was started by
}

int OptionReader::next(std::string& error)
{
    const int code = getopt_long(argc_, argv_, shortOptions_.c_str(), longOptions_, nullptr);
    if (code != ':' && code != '?') return code;
    // A long option is the word just read; a short one may sit in a group of them, such as -qz.
    const char* last = argv_[optind - 1];
    const bool longOption = std::strncmp(last, "--", 2) == 0;
    const std::string word =
        longOption || optopt <= 0 || optopt > 255 ? std::string(last) : std::string("-") + static_cast<char>(optopt);
    error = code == ':' ? "option '" + word + "' needs a value" : "unknown option '" + word + "'";
    return '?';
}

const char* OptionReader::value() const { return optarg; }

std::vector<std::string> OptionReader::operands() const
{
    std::vector<std::string> words;
    for (int i = optind; i < argc_; ++i) words.emplace_back(argv_[i]);
    return words;
}

Command readOptions(int argc, char** argv, const char* shortOptions, const option* longOptions,
                    const std::function<Command(int code, const char* value)>& read, std::vector<std::string>& operands,
                    std::string& error)
{
    OptionReader reader(argc, argv, shortOptions, longOptions);
    for (int code; (code = reader.next(error)) != -1;) {
        if (code == '?') return Command::usageError;
        const Command command = read(code, reader.value());
        if (command != Command::run) return command;
    }
    operands = reader.operands();
    return Command::run;
}

Command usageError(std::string& error, const std::string& text)
{
    error = text;
    return Command::usageError;
}

namespace {

// Standard output that cannot take the text (a full disk, a closed pipe) is a failure, not a success.
int print(const std::string& text)
{
    errno = 0;
    std::fputs(text.c_str(), stdout);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    toolLine(std::string("standard output: ") + std::strerror(errno ? errno : EIO));
    return 1;
}

int answer(const ToolDescription& tool, Command command, const std::string& error, const std::function<int()>& work)
{
    switch (command) {
    case Command::help:
        return print(tool.usage);
    case Command::version:
        return print(std::string(tool.name) + " " ZEM_VERSION "\n");
    case Command::usageError:
        toolLine(error + " (see " + tool.name + " --help)");
        return 2;
    case Command::run:
        break;
    }
    return work();
}

}  // namespace

int toolMain(const ToolDescription& tool, const std::function<Command(std::string& error)>& parse,
             const std::function<int()>& work)
{
    setToolName(tool.name);
    try {
        std::string error;
        const Command command = parse(error);
        return answer(tool, command, error, work);
    } catch (const std::bad_alloc&) {
        toolLine("out of memory");
    } catch (const std::exception& e) {
        toolLine(std::string("unexpected failure: ") + e.what());
    } catch (...) {
        toolLine("unexpected failure");
    }
    return 1;
}
