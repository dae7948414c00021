// update-kit: checks, previews, stages, signs and diffs an update of the updater
// before it ships, on the updater's own logic.
#include <cstdio>
#include <string>

#include "kit/commands.h"

namespace {

constexpr char kUsage[] =
    "usage: update-kit check STAGED [--target-root WINPATH] [--strict] [--json]\n"
    "       update-kit preview STAGED INSTALLED [--target-root WINPATH]\n"
    "       update-kit stage --updater EXE --payload DIR --out DIR\n"
    "                        [--sign P12 --product NAME --version-code CODE [--timestamp URL]]\n"
    "       update-kit diff --from OLD [--from OLD ...] --to NEW --out PAYLOAD [--strict] [--json]\n"
    "       update-kit COMMAND --help   for one command's options\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = argv[1];
    const updater::kit::Arguments arguments(argv + 2, argv + argc);
    if (command == "check") return updater::kit::CheckCommand(arguments);
    if (command == "preview") return updater::kit::PreviewCommand(arguments);
    if (command == "stage") return updater::kit::StageCommand(arguments);
    if (command == "diff") return updater::kit::DiffCommand(arguments);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::fprintf(stderr, "update-kit: unknown command \"%s\"\n%s", command.c_str(), kUsage);
    return 2;
}
