// update-kit stage: its options (stage.h says what it does).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "kit/commands.h"
#include "kit/stage.h"
#include "rules/product.h"

namespace updater::kit {

namespace {

constexpr char kStageHelp[] =
    "usage: update-kit stage --updater EXE --payload DIR --out DIR\n"
    "                        [--sign P12 --product TORVEN|VANTRIX --version-code CODE\n"
    "                         [--ca-file PEM] [--timestamp URL]]\n"
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
    "  --product NAME, --version-code CODE\n"
    "                 the product line (its switch without the \"/\") and the\n"
    "                 version code (7.1.0.12) the update is for, written into\n"
    "                 the manifest; required with --sign: a signed updater\n"
    "                 refuses to run with another switch, another edition's\n"
    "                 code or another version\n"
    "  --ca-file PEM  the certificates the signature is verified against\n"
    "                 (default: osslsigncode's, the system's bundle)\n"
    "  --timestamp URL\n"
    "                 countersign updater.exe's signature by the RFC 3161\n"
    "                 time-stamp authority at URL, so that it outlives the\n"
    "                 certificate; without it stage warns\n"
    "\n"
    "Exit status 0 when staged, 1 when refused or failed, 2 on bad usage.\n";

}  // namespace

int StageCommand(const Arguments& arguments) {
    StageOptions options;
    std::string product, versionCode;
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
        } else if (argument == "--timestamp") {
            value = &options.timestampUrl;
        } else if (argument == "--product") {
            value = &product;
        } else if (argument == "--version-code") {
            value = &versionCode;
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
    if (!std::filesystem::is_regular_file(options.updater) || !std::filesystem::is_directory(options.payload)) {
        std::fprintf(stderr, "update-kit stage: --updater must be a file and --payload a folder\n");
        return 2;
    }
    if (!options.p12.empty() && !std::getenv(kSignPasswordVariable)) {
        std::fprintf(stderr, "update-kit stage: --sign needs the password in %s\n", kSignPasswordVariable);
        return 2;
    }
    if (options.p12.empty() && (!options.caFile.empty() || !options.timestampUrl.empty())) {
        std::fprintf(stderr, "update-kit stage: --ca-file and --timestamp go with --sign\n");
        return 2;
    }
    const bool bound = !product.empty() || !versionCode.empty();
    if ((bound || !options.p12.empty()) && (product.empty() || versionCode.empty())) {
        std::fprintf(stderr, "update-kit stage: --product and --version-code go together; --sign needs them\n");
        return 2;
    }
    if (bound) {
        // The updater's own rules: the switch it selects by, the edition the
        // code's first three characters name.
        if (!ProfileOfProductName(product) || EditionOfVersionCode(versionCode) < 0) {
            std::fprintf(stderr, "update-kit stage: --product must be TORVEN or VANTRIX and --version-code name an "
                                 "edition (4.0 to 8.1, as 7.1.0.12)\n");
            return 2;
        }
        options.target = ManifestTarget{product, versionCode};
    }
    return RunReportingErrors("stage", [&] { return Stage(options); }, ": not staged");
}

}  // namespace updater::kit
