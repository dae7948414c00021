// update-kit stage: its options (stage.h says what it does).
#include <CLI/CLI.hpp>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "kit/commands.h"
#include "kit/stage.h"
#include "rules/product.h"

namespace updater::kit {

namespace {

constexpr char kSummary[] = "Builds the folder to ship, signed or not.";

constexpr char kDetails[] =
    "Builds the ready-to-ship folder OUT: EXE as updater.exe, the sub-folders of\n"
    "DIR beside it, and update-manifest.json (path, size, SHA-256 and Japanese\n"
    "FileVersion of every file). The payload is checked first as\n"
    "`update-kit check` would check OUT (--target-root, --source-root and\n"
    "--strict as there; the source root defaults to\n"
    "C:\\Users\\<20 characters>\\Downloads\\<OUT's name>); a payload that fails is\n"
    "not staged. OUT must not exist or be empty; it is built beside OUT and\n"
    "renamed at the end, so a failure leaves nothing behind.\n"
    "\n"
    "Exit status 0 when staged, 1 when refused or failed, 2 on bad usage.\n";

struct StageArguments {
    StageOptions options;
    std::string product, versionCode;
};

int Usage(const std::string& problem) { return UsageError("stage", problem); }

// What the declarations cannot say: the files' kinds, the password, and the
// product line and version code by the updater's own rules.
int StageChecked(StageArguments& arguments) {
    StageOptions& options = arguments.options;
    if (!std::filesystem::is_regular_file(options.updater) || !std::filesystem::is_directory(options.payload))
        return Usage("--updater must be a file and --payload a folder");
    if (!options.p12.empty() && !std::getenv(kSignPasswordVariable))
        return Usage(std::string("--sign needs the password in ") + kSignPasswordVariable);
    const std::string &product = arguments.product, &versionCode = arguments.versionCode;
    const bool bound = !product.empty() || !versionCode.empty();
    if ((bound || !options.p12.empty()) && (product.empty() || versionCode.empty()))
        return Usage("--product and --version-code go together; --sign needs them");
    if (bound) {
        // The updater's own rules: the switch it selects by, the edition the
        // code's first three characters name.
        if (!ProfileOfProductName(product) || EditionOfVersionCode(versionCode) < 0)
            return Usage("--product must be TORVEN or VANTRIX and --version-code name an edition (4.0 to 8.1, "
                         "as 7.1.0.12)");
        options.target = ManifestTarget{product, versionCode};
    }
    return RunReportingErrors("stage", [&] { return Stage(options); }, ": not staged");
}

// The signing options, each of which goes with --sign.
void DeclareSigning(CLI::App& command, StageArguments& arguments) {
    StageOptions& options = arguments.options;
    CLI::Option* sign =
        command
            .add_option("--sign", options.p12,
                        std::string("sign updater.exe with osslsigncode, the PKCS#12\n"
                                    "file P12 and the password in the environment\n"
                                    "variable ") +
                            kSignPasswordVariable +
                            ", then verify the\n"
                            "signature; sign update-manifest.json with the same\n"
                            "certificate and key (update-manifest.json.p7s,\n"
                            "detached CMS, DER): a signed updater copies only\n"
                            "what that manifest lists")
            ->type_name("P12");
    CLI::Option* product = command
                               .add_option("--product", arguments.product,
                                           "the product line the update is for (its switch\n"
                                           "without the \"/\"), written into the manifest")
                               ->type_name("TORVEN|VANTRIX");
    CLI::Option* versionCode = command
                                   .add_option("--version-code", arguments.versionCode,
                                               "the version code (7.1.0.12) the update is for,\n"
                                               "written into the manifest; with --product, required\n"
                                               "with --sign: a signed updater refuses to run with\n"
                                               "another switch, another edition's code or another\n"
                                               "version")
                                   ->type_name("CODE");
    product->needs(versionCode);
    versionCode->needs(product);
    sign->needs(product);
    sign->needs(versionCode);
    command
        .add_option("--ca-file", options.caFile,
                    "the certificates the signature is verified against\n"
                    "(default: osslsigncode's, the system's bundle)")
        ->type_name("PEM")
        ->needs(sign);
    command
        .add_option("--timestamp", options.timestampUrl,
                    "countersign updater.exe's signature by the RFC 3161\n"
                    "time-stamp authority at URL, so that it outlives the\n"
                    "certificate; without it stage warns")
        ->type_name("URL")
        ->needs(sign);
}

}  // namespace

CommandWork DeclareStage(CLI::App& command) {
    const auto arguments = std::make_shared<StageArguments>();
    StageOptions& options = arguments->options;
    command.description(kSummary);
    command.footer(kDetails);
    command.add_option("--updater", options.updater, "the updater.exe to ship")->required()->type_name("EXE");
    command.add_option("--payload", options.payload, "the payload: its sub-folders are staged")
        ->required()
        ->type_name("DIR");
    command.add_option("--out", options.out, "the folder to build")->required()->type_name("DIR");
    DeclareSigning(command, *arguments);
    command.add_option("--target-root", options.check.targetRoot, "as `update-kit check`'s")
        ->type_name("WINPATH")
        ->capture_default_str();
    command.add_option("--source-root", options.check.sourceRoot, "as `update-kit check`'s")->type_name("WINPATH");
    command.add_flag("--strict", options.strict, "check's warnings refuse the payload too");
    return [arguments] { return StageChecked(*arguments); };
}

}  // namespace updater::kit
