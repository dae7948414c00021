#include "kit/findings.h"

#include <algorithm>

#include "kit/json.h"

namespace updater::kit {

namespace {

const char* SeverityName(Severity severity) { return severity == Severity::kError ? "error" : "warning"; }

std::string Plural(std::size_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

std::size_t CheckResult::errors() const {
    return static_cast<std::size_t>(std::count_if(findings.begin(), findings.end(),
                                                  [](const Finding& f) { return f.severity == Severity::kError; }));
}

std::size_t CheckResult::warnings() const { return findings.size() - errors(); }

std::string FindingsAsText(const CheckResult& result, bool strict) {
    std::string out;
    for (const Finding& finding : result.findings)
        out += std::string(SeverityName(finding.severity)) + ": " + finding.path + ": " + finding.reason + "\n";
    if (result.target)
        out += "staged for /" + result.target->product + " " + result.target->versionCode + " (update-manifest.json)\n";
    out += Plural(result.errors(), "error") + ", " + Plural(result.warnings(), "warning") + ", " +
           Plural(result.filesChecked, "file") + " checked: " +
           (result.Passes(strict) ? "fit to ship" : "not fit to ship") + (strict ? " (strict)" : "") + "\n";
    return out;
}

std::string FindingsAsJson(const CheckResult& result, bool strict, const std::string& moreMembers) {
    std::string out = "{\"fitToShip\": " + std::string(result.Passes(strict) ? "true" : "false") +
                      ", \"strict\": " + (strict ? "true" : "false") +
                      ", \"errors\": " + std::to_string(result.errors()) +
                      ", \"warnings\": " + std::to_string(result.warnings()) +
                      ", \"filesChecked\": " + std::to_string(result.filesChecked) + ", \"target\": ";
    out += result.target ? "{\"product\": " + JsonQuote(result.target->product) +
                               ", \"versionCode\": " + JsonQuote(result.target->versionCode) + "}"
                         : std::string("null");
    out += ", " + moreMembers + "\"findings\": [";
    for (std::size_t i = 0; i < result.findings.size(); ++i) {
        const Finding& finding = result.findings[i];
        out += i == 0 ? "\n" : ",\n";
        out += "  {\"severity\": " + JsonQuote(SeverityName(finding.severity)) +
               ", \"path\": " + JsonQuote(finding.path) + ", \"reason\": " + JsonQuote(finding.reason) + "}";
    }
    out += result.findings.empty() ? "]}\n" : "\n]}\n";
    return out;
}

}  // namespace updater::kit
