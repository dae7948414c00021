// The commands of update-kit, the release engineer's companion: each takes
// the arguments after its name and returns the process exit code
// (0 fine, 1 the update is not fit or the work failed, 2 bad usage).
#pragma once

#include <string>
#include <vector>

namespace updater::kit {

using Arguments = std::vector<std::string>;

// Where the product usually lies on the customer's machine: the default
// target root of check and preview.
inline constexpr char kDefaultTargetRoot[] = "C:\\Program Files (x86)\\ORMIKA\\TORVEN";

// update-kit check STAGED [--target-root WINPATH] [--strict] [--json]
int CheckCommand(const Arguments& arguments);
// update-kit preview STAGED INSTALLED [--target-root WINPATH]
int PreviewCommand(const Arguments& arguments);
// update-kit stage --updater EXE --payload DIR --out DIR [--sign P12]
int StageCommand(const Arguments& arguments);

}  // namespace updater::kit
