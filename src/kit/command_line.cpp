#include "kit/command_line.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

namespace updater::kit {

namespace {

// Wide enough for "--payload DIR REQUIRED"; descriptions break their own
// lines to stay within 80 columns.
constexpr std::size_t kOptionColumn = 28;

// A usage error before any command was chosen: a first argument that is no
// option names a command that does not exist, whatever CLI11 found first.
int TopLevelUsageError(const Arguments& arguments, const std::string& problem) {
    const bool named = !arguments.empty() && arguments.front().rfind('-', 0) != 0;
    const std::string said = named ? "unknown command \"" + arguments.front() + "\"" : problem;
    std::fprintf(stderr, "update-kit: %s\n(update-kit --help for the commands)\n", said.c_str());
    return 2;
}

}  // namespace

CommandLine::CommandLine()
    : app_(std::make_unique<CLI::App>(
          "Checks, previews, stages, signs and diffs an update of the updater\n"
          "before it ships, on the updater's own logic.",
          "update-kit")) {
    app_->require_subcommand(1);
    app_->footer("update-kit COMMAND --help prints one command's options.");
    // Shared with every subcommand added after this.
    app_->get_formatter()->column_width(kOptionColumn);
    app_->get_formatter()->label("SUBCOMMAND", "COMMAND");
}

CommandLine::~CommandLine() = default;

void CommandLine::Add(const char* name, DeclareCommand declare) {
    CLI::App* command = app_->add_subcommand(name)->group("Commands");
    works_[command] = declare(*command);
}

int CommandLine::Run(const Arguments& arguments) {
    if (arguments == Arguments{"help"}) return Run({"--help"});  // update-kit has always taken it
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());  // as CLI11 takes them
    try {
        app_->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app_->help().c_str(), stdout);  // the chosen command's, when there is one
        return 0;
    } catch (const CLI::ParseError& error) {
        const std::vector<CLI::App*> chosen = app_->get_subcommands();
        if (!chosen.empty()) return UsageError(chosen.front()->get_name().c_str(), error.what());
        return TopLevelUsageError(arguments, error.what());
    }
    return works_.at(app_->get_subcommands().front())();
}

int RunCommand(const char* name, DeclareCommand declare, const Arguments& arguments) {
    CommandLine line;
    line.Add(name, declare);
    Arguments named{name};
    named.insert(named.end(), arguments.begin(), arguments.end());
    return line.Run(named);
}

}  // namespace updater::kit
