// Another program run to its end, as stage runs osslsigncode.
#pragma once

#include <string>
#include <vector>

namespace updater::kit {

struct ProcessResult {
    int status = -1;     // the exit status, -1 when it did not exit normally
    std::string output;  // standard output and error together
};

// Runs `argv` (argv[0] found on PATH) with `input` on its standard input and
// its output captured. Throws std::runtime_error when it cannot be started.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input);

}  // namespace updater::kit
