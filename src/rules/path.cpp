#include "rules/path.h"

#include <vector>

#include "rules/cp932.h"

namespace updater {

std::size_t LastSeparator(const std::string& path, bool withColon) {
    std::size_t last = std::string::npos;
    for (std::size_t pos = 0; pos < path.size(); pos += CharLength(path, pos)) {
        if (path[pos] == '\\' || (withColon && path[pos] == ':')) last = pos;
    }
    return last;
}

bool EndsWithBackslash(const std::string& text) {
    if (text.empty() || text.back() != '\\') return false;
    const std::size_t last = LastSeparator(text, false);
    return last != std::string::npos && last + 1 == text.size();
}

std::string WithoutTrailingSeparators(std::string text) {
    while (EndsWithBackslash(text)) text.pop_back();
    return text;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder);
    if (!EndsWithBackslash(folder)) path.push_back('\\');
    return path.append(name);
}

std::string FolderOfPath(const std::string& path) {
    const std::size_t last = LastSeparator(path, true);
    if (last == std::string::npos) return "";
    // "D:\x" keeps "D:\"; a separator right after another one (or a colon) stays.
    const bool afterSeparator = last > 0 && LastSeparator(path.substr(0, last), true) == last - 1;
    if (path[last] == '\\' && last > 0 && !afterSeparator) return path.substr(0, last);
    return path.substr(0, last + 1);
}

std::string FileNameOfPath(const std::string& path) {
    const std::size_t last = LastSeparator(path, true);
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string ApplicationTitleOf(const std::string& executablePath) {
    std::string name = FileNameOfPath(executablePath);
    name = name.substr(0, name.find('.'));
    if (name.empty()) return name;
    const std::size_t first = CharLength(name, 0);
    return name.substr(0, first) + LowerCaseAscii(name.substr(first));
}

}  // namespace updater

namespace updater {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Where the name that starts at `pos` ends: the next separator, stepping
// over double-byte characters, or the text's end.
std::size_t EndOfName(const std::string& path, std::size_t pos) {
    while (pos < path.size() && !IsSeparator(path[pos])) pos += CharLength(path, pos);
    return pos;
}

// The length of the part of an absolute path that ".." cannot climb above:
// "D:" of "D:\...", "\\server\share" of a network path; 0 when `path` is not
// absolute.
std::size_t RootLength(const std::string& path) {
    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':')
        return path.size() == 2 || IsSeparator(path[2]) ? 2 : 0;
    if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return 0;
    const std::size_t serverEnd = EndOfName(path, 2);
    const std::string server = path.substr(2, serverEnd - 2);
    const auto isStep = [](const std::string& name) { return name == "." || name == ".."; };
    if (server.empty() || server == "?" || isStep(server) || serverEnd == path.size()) return 0;
    const std::size_t shareEnd = EndOfName(path, serverEnd + 1);
    const std::string share = path.substr(serverEnd + 1, shareEnd - serverEnd - 1);
    return share.empty() || isStep(share) ? 0 : shareEnd;
}

}  // namespace

bool IsAbsoluteFolderPath(const std::string& path) { return RootLength(path) != 0; }

bool LiesBelow(const std::string& path, const std::string& folder) {
    return EndsWithBackslash(folder) && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0;
}

std::string CollapseDotSegments(const std::string& path) {
    const std::size_t root = RootLength(path);
    if (root == 0) return "";
    std::string resolved = path.substr(0, root);
    std::vector<std::size_t> ends;  // where each kept step begins in `resolved`
    for (std::size_t pos = root; pos < path.size();) {
        const std::size_t end = EndOfName(path, pos + 1);
        const std::string name = path.substr(pos + 1, end - pos - 1);
        if (name == "..") {
            if (!ends.empty()) {
                resolved.erase(ends.back());
                ends.pop_back();
            }
        } else if (!name.empty() && name != ".") {
            ends.push_back(resolved.size());
            resolved.append(1, '\\').append(name);
        }
        pos = end;
    }
    // A drive's root keeps its "\\"; otherwise a path ends in "\\" when it did.
    const bool driveRoot = ends.empty() && resolved.size() == 2;
    if (driveRoot || (!ends.empty() && (EndsWithBackslash(path) || path.back() == '/'))) resolved.push_back('\\');
    else if (ends.empty() && root < path.size()) resolved.push_back('\\');
    return resolved;
}

}  // namespace updater
