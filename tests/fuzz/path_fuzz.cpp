// Path rules over code page 932 texts: the last separator, the folder and the
// file name of a path, the join of a folder and a name, the application's
// title, and the ASCII case changes they use. The input is the path; for the
// join it is cut at its first NUL into folder and name.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "rules/cp932.h"
#include "rules/file_name.h"
#include "rules/path.h"

namespace {

using fuzz::Require;

// The model's last separator: the last character start holding "\" (or ":").
std::size_t ModelLastSeparator(const std::string& path, bool withColon) {
    const std::vector<bool> starts = fuzz::CharStarts(path);
    for (std::size_t pos = path.size(); pos-- > 0;)
        if (starts[pos] && (path[pos] == '\\' || (withColon && path[pos] == ':'))) return pos;
    return std::string::npos;
}

bool HasSeparator(const std::string& text) { return ModelLastSeparator(text, true) != std::string::npos; }

void CheckSeparators(const std::string& path) {
    const std::size_t last = updater::LastSeparator(path, false);
    const std::size_t lastWithColon = updater::LastSeparator(path, true);
    Require(last == ModelLastSeparator(path, false), "the last \"\\\" that starts a character");
    Require(lastWithColon == ModelLastSeparator(path, true), "the last \"\\\" or \":\" that starts a character");
    const bool endsWithBackslash = !path.empty() && last == path.size() - 1;
    Require(updater::EndsWithBackslash(path) == endsWithBackslash, "the last character, not byte, is \"\\\"");
}

void CheckFolderAndName(const std::string& path) {
    const std::string folder = updater::FolderOfPath(path);
    const std::string name = updater::FileNameOfPath(path);
    const std::size_t last = ModelLastSeparator(path, true);
    Require(fuzz::IsPrefix(folder, path), "the folder of a path is a prefix of it");
    Require(fuzz::IsSuffix(name, path), "the file name of a path is a suffix of it");
    Require(!HasSeparator(name), "a file name holds no separator");
    if (last == std::string::npos) {
        Require(folder.empty(), "a path without separator has no folder");
        Require(name == path, "a path without separator is its own file name");
        return;
    }
    Require(name == path.substr(last + 1), "the file name is what follows the last separator");
    Require(folder.size() == last || folder.size() == last + 1, "the folder ends at the last separator");
    // "X\name" with an ordinary character before the "\" gives "X": the "\" is
    // kept only for a root (after ":" or another "\", or at the very start).
    const std::vector<bool> starts = fuzz::CharStarts(path);
    if (path[last] == '\\' && last > 0) {
        std::size_t before = last - 1;
        while (!starts[before]) --before;
        const bool root = path[before] == ':' || path[before] == '\\';
        Require(folder.size() == (root ? last + 1 : last), "the folder drops its last \"\\\" unless it is a root");
    }
}

void CheckJoin(const std::string& input) {
    const std::size_t nul = input.find('\0');
    const std::string folder = input.substr(0, nul);
    const std::string name = nul == std::string::npos ? std::string() : input.substr(nul + 1);
    const std::string joined = updater::JoinPath(folder, name);
    const bool rootLike = updater::EndsWithBackslash(folder);
    Require(joined == (rootLike ? folder + name : folder + "\\" + name),
            "a join puts one \"\\\" between folder and name unless the folder ends in one");
}

void CheckCase(const std::string& text) {
    const std::string upper = updater::UpperCaseAscii(text);
    const std::string lower = updater::LowerCaseAscii(text);
    std::string inPlace = text;
    updater::UpperCaseAsciiInPlace(inPlace);
    Require(inPlace == upper, "the in-place upper case equals the copying one");
    Require(upper.size() == text.size() && lower.size() == text.size(), "a case change keeps the length");
    const std::vector<bool> starts = fuzz::CharStarts(text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool single = starts[i] && (i + 1 == text.size() || starts[i + 1]);
        const char up = single && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        const char down = single && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        Require(upper[i] == up, "upper case changes a-z only, and leaves double-byte characters whole");
        Require(lower[i] == down, "lower case changes A-Z only, and leaves double-byte characters whole");
    }
}

void CheckTitle(const std::string& path) {
    const std::string name = updater::FileNameOfPath(path);
    const std::string cut = name.substr(0, name.find('.'));
    const std::string title = updater::ApplicationTitleOf(path);
    Require(title.size() == cut.size(), "the title is the file name cut at its first \".\"");
    if (cut.empty()) return;
    const std::size_t first = fuzz::IsLead(static_cast<unsigned char>(cut[0])) && cut.size() > 1 ? 2 : 1;
    Require(title.compare(0, first, cut, 0, first) == 0, "the title's first character is kept");
    Require(title.substr(first) == updater::LowerCaseAscii(cut.substr(first)),
            "every character after the first is in lower case");
}

// Every lead byte is followed by a trail byte (0x40-0x7E, 0x80-0xFC).
bool IsWellFormed(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!fuzz::IsLead(static_cast<unsigned char>(text[i]))) continue;
        if (++i == text.size()) return false;
        const unsigned char trail = static_cast<unsigned char>(text[i]);
        if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
    }
    return true;
}

// The steps of a path between "\" (or "/") separators that start characters.
std::vector<std::string> Steps(const std::string& path) {
    const std::vector<bool> starts = fuzz::CharStarts(path);
    std::vector<std::string> steps(1);
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (starts[i] && (path[i] == '\\' || path[i] == '/')) steps.emplace_back();
        else steps.back() += path[i];
    }
    return steps;
}

// Resolving "." and ".." never leaves the path's drive or share, and leaves
// no such step behind; a name free of faults names no other file.
void CheckResolvingAndNames(const std::string& path) {
    const std::string resolved = updater::CollapseDotSegments(path);
    Require(resolved.empty() == !updater::IsAbsoluteFolderPath(path), "exactly the absolute paths resolve");
    if (!resolved.empty()) {
        Require(updater::IsAbsoluteFolderPath(resolved), "a resolved path is absolute");
        const std::vector<std::string> steps = Steps(resolved);
        for (std::size_t i = 1; i < steps.size(); ++i)
            Require(steps[i] != "." && steps[i] != "..", "no \".\" or \"..\" step is left");
        // Joining steps with "\\" can pair a lone lead byte with it: only
        // well-formed text resolves the same twice.
        if (IsWellFormed(path))
            Require(updater::CollapseDotSegments(resolved) == resolved, "resolving twice changes nothing");
    }
    if (updater::FaultOfName(path) != updater::NameFault::kNone) return;
    Require(Steps(path).size() == 1, "a faultless name holds no separator");
    Require(path.back() != '.' && path.back() != ' ', "a faultless name ends in neither a dot nor a blank");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string path(reinterpret_cast<const char*>(bytes), size);
    CheckSeparators(path);
    CheckFolderAndName(path);
    CheckJoin(path);
    CheckCase(path);
    CheckTitle(path);
    CheckResolvingAndNames(path);
    return 0;
}
