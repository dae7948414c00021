// The commands of update-kit, the release engineer's companion: each
// declares its options on its own subcommand of update-kit's command line
// (command_line.h), and its work returns the process exit code (0 fine,
// 1 the update is not fit or the work failed, 2 bad usage).
#pragma once

#include <cstdio>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
}  // namespace CLI

namespace updater::kit {

using Arguments = std::vector<std::string>;

// Where the product usually lies on the customer's machine: the default
// target root of check and preview.
inline constexpr char kDefaultTargetRoot[] = "C:\\Program Files (x86)\\ORMIKA\\TORVEN";

// Runs a command's work under the exit codes above: a std::invalid_argument
// it raises is bad usage (2), any other error a failure (1); either is said
// on stderr as "update-kit NAME: what", a failure followed by `failureNote`.
template <typename Work>
int RunReportingErrors(const char* name, Work&& work, const char* failureNote = "") {
    try {
        return work();
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "update-kit %s: %s\n", name, error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "update-kit %s: %s%s\n", name, error.what(), failureNote);
        return 1;
    }
}

// Says a usage error of command `name` on stderr, with where its options
// are told; returns the bad-usage exit code (2).
inline int UsageError(const char* name, const std::string& problem) {
    std::fprintf(stderr, "update-kit %s: %s\n(update-kit %s --help for the options)\n", name, problem.c_str(), name);
    return 2;
}

// A command's work, run once its command line has parsed; returns the exit code.
using CommandWork = std::function<int()>;

// Each declares its command's help and options on `command` (the subcommand
// of that name), bound to values that the returned work owns.
CommandWork DeclareCheck(CLI::App& command);
CommandWork DeclarePreview(CLI::App& command);
CommandWork DeclareStage(CLI::App& command);
CommandWork DeclareDiff(CLI::App& command);

// update-kit preview ARGUMENTS, as a command line of its own.
int PreviewCommand(const Arguments& arguments);

}  // namespace updater::kit
