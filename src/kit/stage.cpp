#include "kit/stage.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/unique_fd.h"
#include "kit/check.h"
#include "kit/manifest.h"
#include "kit/manifest_signature.h"

extern char** environ;

namespace updater::kit {

namespace fs = std::filesystem;

namespace {

constexpr char kStageHelp[] =
    "usage: update-kit stage --updater EXE --payload DIR --out DIR [--sign P12 [--ca-file PEM]]\n"
    "                        [--target-root WINPATH] [--source-root WINPATH] [--strict]\n"
    "\n"
    "Builds the ready-to-ship folder OUT: EXE as updater.exe, the sub-folders of\n"
    "DIR beside it, and update-manifest.json (path, size, SHA-256 and Japanese\n"
    "FileVersion of every file). The payload is checked first as\n"
    "`update-kit check` would check OUT (--target-root, --source-root and\n"
    "--strict as there; the source root defaults to\n"
    "C:\\Users\\<20 characters>\\Downloads\\<OUT's name>); a payload that fails is\n"
    "not staged. OUT must not exist or be empty; it is built beside OUT and\n"
    "renamed at the end, so a failure leaves nothing behind.\n"
    "\n"
    "  --sign P12     sign updater.exe with osslsigncode, the PKCS#12 file P12\n"
    "                 and the password in the environment variable\n"
    "                 UPDATE_KIT_SIGN_PASSWORD, then verify the signature; sign\n"
    "                 update-manifest.json with the same certificate and key\n"
    "                 (update-manifest.json.p7s, detached CMS, DER): a signed\n"
    "                 updater copies only what that manifest lists\n"
    "  --ca-file PEM  the certificates the signature is verified against\n"
    "                 (default: osslsigncode's, the system's bundle)\n"
    "\n"
    "Exit status 0 when staged, 1 when refused or failed, 2 on bad usage.\n";

// Removes the folder being built unless it was handed over.
class StagingFolder {
public:
    explicit StagingFolder(const fs::path& out) {
        std::string pattern = (out.parent_path() / ("." + out.filename().string() + ".staging-XXXXXX")).string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a folder beside " + out.string());
        path_ = pattern;
    }
    ~StagingFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    const fs::path& path() const { return path_; }
    void MoveTo(const fs::path& out) {
        fs::rename(path_, out);  // replaces an empty folder
        path_.clear();
    }

private:
    fs::path path_;
};

struct ProcessResult {
    int status = -1;     // the exit status, -1 when it did not exit normally
    std::string output;  // standard output and error together
};

// Runs `argv` with `input` on its standard input and its output captured.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input) {
    int inPipe[2], outPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
    host::UniqueFd inRead(inPipe[0]), inWrite(inPipe[1]);
    if (pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
    host::UniqueFd outRead(outPipe[0]), outWrite(outPipe[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inRead.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv[0] + " (apt-get install " + argv[0] + ")");
    inRead.Close();
    outWrite.Close();
    // The input (a password) is far smaller than a pipe's buffer.
    if (!input.empty() && write(inWrite.get(), input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        throw std::runtime_error("cannot hand the input to " + argv[0]);
    inWrite.Close();
    ProcessResult result;
    char buffer[4096];
    for (ssize_t got; (got = read(outRead.get(), buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

void Sign(const fs::path& updater, const std::string& p12, const std::string& caFile, const std::string& password) {
    const fs::path signedCopy = updater.parent_path() / ".updater.signed";
    const ProcessResult sign = RunProcess({"osslsigncode", "sign", "-pkcs12", p12, "-readpass", "-", "-h", "sha256",
                                           "-in", updater.string(), "-out", signedCopy.string()},
                                          password);
    if (sign.status != 0) throw std::runtime_error("osslsigncode could not sign the updater:\n" + sign.output);
    fs::rename(signedCopy, updater);
    std::vector<std::string> verify = {"osslsigncode", "verify", "-in", updater.string()};
    if (!caFile.empty()) verify.insert(verify.end(), {"-CAfile", caFile});
    const ProcessResult verified = RunProcess(verify, "");
    if (verified.status != 0) throw std::runtime_error("the signature does not verify:\n" + verified.output);
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

// Writes the manifest's detached signature and checks it as the updater
// will: it verifies, and its signer is updater.exe's.
void SignManifest(const fs::path& staged, const std::string& manifest, const std::string& p12,
                  const std::string& password) {
    const std::string signature = SignDetached(manifest, p12, password);
    std::ifstream in(staged / kUpdaterName, std::ios::binary);
    const std::string updater(std::istreambuf_iterator<char>(in), {});
    const std::optional<std::string> signer = DetachedSigner(manifest, signature);
    if (!signer || *signer != ReadAuthenticodeSigner(updater).certificate)
        throw std::runtime_error("the manifest's signature does not verify with updater.exe's certificate");
    WriteFile(staged / kManifestSignatureName, signature);
}

// The files below `root` as (file, Windows path below root), in walk order.
std::vector<std::pair<fs::path, std::string>> FilesBelow(const fs::path& root) {
    std::vector<std::pair<fs::path, std::string>> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (!it->is_regular_file()) continue;
        std::string windows = it->path().lexically_relative(root).generic_string();
        for (char& c : windows)
            if (c == '/') c = '\\';
        files.emplace_back(it->path(), windows);
    }
    return files;
}

struct StageOptions {
    std::string updater, payload, out, p12, caFile;
    bool strict = false;
    CheckOptions check;
};

int Stage(const StageOptions& options) {
    const fs::path out = fs::absolute(options.out).lexically_normal();
    const fs::path outPath = out.has_filename() ? out : out.parent_path();
    if (fs::exists(outPath) && (!fs::is_directory(outPath) || !fs::is_empty(outPath))) {
        std::fprintf(stderr, "update-kit stage: %s exists and is not an empty folder: not staged\n",
                     options.out.c_str());
        return 1;
    }
    CheckOptions checkOptions = options.check;
    if (checkOptions.sourceRoot.empty())
        checkOptions.sourceRoot = std::string(kDefaultSourceParent) + "\\" + outPath.filename().string();
    checkOptions.updaterToBeAdded = kUpdaterName;
    const CheckResult check = CheckStaged(options.payload, checkOptions);
    if (!check.findings.empty() || !check.Passes(options.strict))
        std::fputs(FindingsAsText(check, options.strict).c_str(), stdout);
    if (!check.Passes(options.strict)) {
        std::fprintf(stdout, "not staged: %s does not pass the check\n", options.payload.c_str());
        return 1;
    }

    StagingFolder staging(outPath);
    TerminalProgress progress;
    fs::copy_file(options.updater, staging.path() / kUpdaterName);
    const auto payloadFiles = FilesBelow(options.payload);
    std::size_t done = 0;
    for (const auto& [file, windowsPath] : payloadFiles) {
        const fs::path relative = file.lexically_relative(options.payload);
        fs::create_directories((staging.path() / relative).parent_path());
        fs::copy_file(file, staging.path() / relative);
        progress.Show("copying " + std::to_string(++done) + "/" + std::to_string(payloadFiles.size()));
    }
    // Empty folders come along too: the tree is the payload's.
    for (auto it = fs::recursive_directory_iterator(options.payload); it != fs::recursive_directory_iterator(); ++it)
        if (it->is_directory() && !it->is_symlink())
            fs::create_directories(staging.path() / it->path().lexically_relative(options.payload));

    if (!options.p12.empty()) {
        progress.Show("signing updater.exe");
        const char* password = std::getenv(kSignPasswordVariable);
        Sign(staging.path() / kUpdaterName, options.p12, options.caFile, password ? password : "");
    }

    std::vector<ManifestEntry> entries;
    const auto stagedFiles = FilesBelow(staging.path());
    done = 0;
    for (const auto& [file, windowsPath] : stagedFiles) {
        entries.push_back(DescribeFile(file, windowsPath));
        progress.Show("hashing " + std::to_string(++done) + "/" + std::to_string(stagedFiles.size()));
    }
    const std::string manifest = ManifestText(std::move(entries));
    WriteFile(staging.path() / kManifestName, manifest);
    if (!options.p12.empty()) {
        // After the manifest, which describes the signed updater.exe.
        progress.Show("signing " + std::string(kManifestName));
        const char* password = std::getenv(kSignPasswordVariable);
        SignManifest(staging.path(), manifest, options.p12, password ? password : "");
    }
    staging.MoveTo(outPath);
    progress.Clear();
    std::printf("staged %s: updater.exe%s and %zu payload files, manifest %s%s\n", options.out.c_str(),
                options.p12.empty() ? "" : " (signed, signature verified)", payloadFiles.size(), kManifestName,
                options.p12.empty() ? "" : " (signed)");
    return 0;
}

}  // namespace

int StageCommand(const Arguments& arguments) {
    StageOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        std::string* value = nullptr;
        if (argument == "--help" || argument == "-h") {
            std::fputs(kStageHelp, stdout);
            return 0;
        } else if (argument == "--strict") {
            options.strict = true;
            continue;
        } else if (argument == "--updater") {
            value = &options.updater;
        } else if (argument == "--payload") {
            value = &options.payload;
        } else if (argument == "--out") {
            value = &options.out;
        } else if (argument == "--sign") {
            value = &options.p12;
        } else if (argument == "--ca-file") {
            value = &options.caFile;
        } else if (argument == "--target-root") {
            value = &options.check.targetRoot;
        } else if (argument == "--source-root") {
            value = &options.check.sourceRoot;
        }
        if (!value || !hasValue) {
            std::fprintf(stderr, "update-kit stage: unexpected \"%s\"\n%s", argument.c_str(), kStageHelp);
            return 2;
        }
        *value = arguments[++i];
    }
    if (options.updater.empty() || options.payload.empty() || options.out.empty()) {
        std::fputs(kStageHelp, stderr);
        return 2;
    }
    if (!fs::is_regular_file(options.updater) || !fs::is_directory(options.payload)) {
        std::fprintf(stderr, "update-kit stage: --updater must be a file and --payload a folder\n");
        return 2;
    }
    if (!options.p12.empty() && !std::getenv(kSignPasswordVariable)) {
        std::fprintf(stderr, "update-kit stage: --sign needs the password in %s\n", kSignPasswordVariable);
        return 2;
    }
    if (options.p12.empty() && !options.caFile.empty()) {
        std::fprintf(stderr, "update-kit stage: --ca-file goes with --sign\n");
        return 2;
    }
    try {
        return Stage(options);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "update-kit stage: %s\n", error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "update-kit stage: %s: not staged\n", error.what());
        return 1;
    }
}

}  // namespace updater::kit
