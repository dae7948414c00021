#include "kit/stage.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/findings.h"
#include "kit/manifest.h"
#include "kit/manifest_signature.h"
#include "kit/signing.h"
#include "kit/terminal_progress.h"
#include "rules/manifest_format.h"

namespace updater::kit {

namespace fs = std::filesystem;

int Stage(const StageOptions& options) {
    const fs::path outPath = OutputFolder(options.out);
    if (!IsAbsentOrEmptyFolder(outPath)) {
        std::fprintf(stderr, "update-kit stage: %s exists and is not an empty folder: not staged\n",
                     options.out.c_str());
        return 1;
    }
    CheckOptions checkOptions = options.check;
    if (checkOptions.sourceRoot.empty()) checkOptions.sourceRoot = DefaultSourceRoot(outPath);
    checkOptions.updaterToBeAdded = kUpdaterFileName;
    const CheckResult check = CheckStaged(options.payload, checkOptions);
    if (!check.findings.empty() || !check.Passes(options.strict))
        std::fputs(FindingsAsText(check, options.strict).c_str(), stdout);
    if (!check.Passes(options.strict)) {
        std::fprintf(stdout, "not staged: %s does not pass the check\n", options.payload.c_str());
        return 1;
    }

    StagingFolder staging(outPath);
    TerminalProgress progress;
    fs::copy_file(options.updater, staging.path() / kUpdaterFileName);
    const auto payloadFiles = FilesBelow(options.payload);
    std::size_t done = 0;
    for (const FileBelow& payloadFile : payloadFiles) {
        const fs::path relative = payloadFile.file.lexically_relative(options.payload);
        fs::create_directories((staging.path() / relative).parent_path());
        fs::copy_file(payloadFile.file, staging.path() / relative);
        progress.Show("copying " + std::to_string(++done) + "/" + std::to_string(payloadFiles.size()));
    }
    // Empty folders come along too: the tree is the payload's.
    for (auto it = fs::recursive_directory_iterator(options.payload); it != fs::recursive_directory_iterator(); ++it)
        if (it->is_directory() && !it->is_symlink())
            fs::create_directories(staging.path() / it->path().lexically_relative(options.payload));

    if (!options.p12.empty()) {
        progress.Show("signing updater.exe");
        const char* password = std::getenv(kSignPasswordVariable);
        SignUpdater(staging.path() / kUpdaterFileName, options.p12, options.caFile, options.timestampUrl,
                    password ? password : "");
        if (options.timestampUrl.empty()) {
            progress.Clear();
            std::printf("warning: %s: %s (--timestamp URL countersigns it)\n", kUpdaterFileName, kNoTimeStamp);
        }
    }

    std::vector<ManifestEntry> entries;
    const auto stagedFiles = FilesBelow(staging.path());
    done = 0;
    for (const FileBelow& stagedFile : stagedFiles) {
        entries.push_back(DescribeFile(stagedFile.file, stagedFile.windows));
        progress.Show("hashing " + std::to_string(++done) + "/" + std::to_string(stagedFiles.size()));
    }
    const std::string manifest = ManifestText(std::move(entries), options.target);
    WriteFile(staging.path() / kManifestFileName, manifest);
    if (!options.p12.empty()) {
        // After the manifest, which describes the signed updater.exe.
        progress.Show("signing " + std::string(kManifestFileName));
        const char* password = std::getenv(kSignPasswordVariable);
        SignManifest(staging.path(), manifest, options.p12, password ? password : "");
    }
    staging.MoveTo(outPath);
    progress.Clear();
    std::printf("staged %s: updater.exe%s and %zu payload files, manifest %s%s\n", options.out.c_str(),
                options.p12.empty() ? "" : " (signed, signature verified)", payloadFiles.size(), kManifestFileName,
                options.p12.empty() ? "" : " (signed)");
    return 0;
}

}  // namespace updater::kit
