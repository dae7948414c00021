#include "text/path.h"

#include "text/cp932.h"

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
