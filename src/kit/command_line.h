// update-kit's command line: one app whose subcommands are the commands
// (commands.h). Each command declares its options once; its help and the
// top-level help are generated from those declarations.
#pragma once

#include <map>
#include <memory>

#include "kit/commands.h"

namespace updater::kit {

using DeclareCommand = CommandWork (*)(CLI::App& command);

class CommandLine {
public:
    CommandLine();
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // Adds the command `name`, its help and options declared by `declare`.
    void Add(const char* name, DeclareCommand declare);

    // Parses `arguments` (those after the program's name) and runs the chosen
    // command's work. Help goes to stdout (exit 0); a usage error to stderr
    // as "update-kit NAME: problem" and where the options are told (exit 2).
    int Run(const Arguments& arguments);

private:
    std::unique_ptr<CLI::App> app_;
    std::map<const CLI::App*, CommandWork> works_;
};

// update-kit NAME ARGUMENTS on a command line that knows NAME alone.
int RunCommand(const char* name, DeclareCommand declare, const Arguments& arguments);

}  // namespace updater::kit
