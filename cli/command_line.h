// The companion tools' command line: options read through getopt_long with error lines that name
// the word at fault, the options every tool spells alike, and the guarded main around a tool.
#pragma once

#include <getopt.h>

#include <functional>
#include <string>
#include <vector>

// What a command line asks for.
enum class Command { run, help, version, usageError };

// The options every companion has, spelt the same way in each.
constexpr option kHelpOption{"help", no_argument, nullptr, 'h'};
constexpr option kVersionOption{"version", no_argument, nullptr, 'V'};

// Reads the options of argv one by one, from the start, whatever was read before in the process.
class OptionReader {
public:
    // shortOptions in getopt's form, without the leading ':' (added here); longOptions ends with a
    // zero entry.
    OptionReader(int argc, char** argv, const char* shortOptions, const option* longOptions);

    // The next option's code, or -1 after the last option. '?' when a word is not an option or
    // lacks its value: error then names the word as it was written ("unknown option '-q'").
    int next(std::string& error);

    // The value of the option just read, or null.
    const char* value() const;

    // The words after the options.
    std::vector<std::string> operands() const;

private:
    int argc_;
    char** argv_;
    std::string shortOptions_;
    const option* longOptions_;
};

// Reads every option of argv through read, which answers run to go on; the words after the options
// go to operands. Stops at the first answer that is not run, or at a word that is not an option
// (a usage error, with error naming it).
Command readOptions(int argc, char** argv, const char* shortOptions, const option* longOptions,
                    const std::function<Command(int code, const char* value)>& read, std::vector<std::string>& operands,
                    std::string& error);

// Sets error to text and answers a usage error, for parsers to return in one step.
Command usageError(std::string& error, const std::string& text);

struct ToolDescription {
    const char* name;   // the program's name, first on every line it writes
    const char* usage;  // the whole text of --help
};

// A companion's main: names the tool for every line (the model library's included), parses,
// prints the help or the version, or words a usage error as one line, else runs the work. Nothing
// escapes: what is thrown becomes one line. Returns the exit status: 0 done, 1 the work (or writing
// the help) failed, 2 the command line was wrong.
int toolMain(const ToolDescription& tool, const std::function<Command(std::string& error)>& parse,
             const std::function<int()>& work);
