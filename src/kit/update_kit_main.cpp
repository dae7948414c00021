// update-kit: checks, previews, stages, signs and diffs an update of the updater
// before it ships, on the updater's own logic.
#include "kit/command_line.h"
#include "kit/commands.h"

int main(int argc, char** argv) {
    using namespace updater::kit;
    CommandLine line;
    line.Add("check", DeclareCheck);
    line.Add("preview", DeclarePreview);
    line.Add("stage", DeclareStage);
    line.Add("diff", DeclareDiff);
    return line.Run(Arguments(argv + 1, argv + argc));
}
