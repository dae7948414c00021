#include "platform/preview/preview_platform.h"

#include <fcntl.h>
#include <iconv.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <memory>
#include <system_error>

#include "kit/pe_version.h"
#include "platform/progress_window.h"
#include "text/cp932.h"
#include "text/path.h"
#include "text/texts.h"

namespace updater {

namespace preview {

namespace {

// Windows error codes a listing reports.
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorFilenameExcedRange = 206;
constexpr std::uint32_t kErrorDirectory = 267;
// The ANSI calls' path limit, terminating NUL included.
constexpr std::size_t kMaxPath = 260;

std::uint32_t ErrorOf(int error) {
    switch (error) {
        case ENOENT: return kErrorPathNotFound;
        case EACCES:
        case EPERM: return kErrorAccessDenied;
        case ENOTDIR: return kErrorDirectory;
        case ENAMETOOLONG: return kErrorFilenameExcedRange;
        default: return kErrorGenFailure;
    }
}

// One iconv conversion, reset before every use; any character converted
// other than exactly (iconv counts those) makes the whole text fail.
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (ready()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    std::optional<std::string> operator()(std::string_view input) {
        if (!ready()) return std::nullopt;
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        std::string output(input.size() * 4 + 8, '\0');
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char* out = output.data();
        std::size_t outLeft = output.size();
        if (iconv(handle_, &in, &inLeft, &out, &outLeft) != 0 || inLeft != 0) return std::nullopt;
        if (iconv(handle_, nullptr, nullptr, &out, &outLeft) != 0) return std::nullopt;
        output.resize(output.size() - outLeft);
        return output;
    }

private:
    bool ready() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle_;
};

// A name's place in a Windows listing: its UTF-16 units upper-cased (as the
// file system's case table does, one unit at a time), then the units themselves.
struct SortKey {
    std::u16string upper;
    std::u16string exact;
    bool operator<(const SortKey& other) const {
        return upper != other.upper ? upper < other.upper : exact < other.exact;
    }
};

locale_t UnicodeLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

SortKey KeyOf(const std::string& utf8) {
    static Converter toUtf16("UTF-16LE", "UTF-8");
    SortKey key;
    const std::optional<std::string> bytes = toUtf16(utf8);
    if (bytes) {
        for (std::size_t i = 0; i + 1 < bytes->size(); i += 2)
            key.exact.push_back(static_cast<char16_t>(static_cast<unsigned char>((*bytes)[i]) |
                                                      (static_cast<unsigned char>((*bytes)[i + 1]) << 8)));
    } else {
        for (const char c : utf8) key.exact.push_back(static_cast<unsigned char>(c));
    }
    key.upper = key.exact;
    const locale_t locale = UnicodeLocale();
    for (char16_t& unit : key.upper) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue;  // halves of a pair stay as they are
        if (locale != static_cast<locale_t>(nullptr)) {
            const wint_t upper = towupper_l(unit, locale);
            if (upper <= 0xFFFF) unit = static_cast<char16_t>(upper);
        } else if (unit >= u'a' && unit <= u'z') {
            unit = static_cast<char16_t>(unit - (u'a' - u'A'));
        }
    }
    return key;
}

// A file read only where the version reader asks, through one descriptor
// (opened at the first read, closed with the source). The first 4 KiB are
// read at once and kept: they hold the headers and, in a small DLL, the
// resource directories and version block too, so most files cost one read.
class FileSource final : public kit::ByteSource {
public:
    FileSource(std::string path, std::uint64_t size) : path_(std::move(path)), size_(size) {}
    ~FileSource() override {
        if (fd_ >= 0) close(fd_);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t Size() const override { return size_; }

    std::size_t Read(std::uint64_t offset, char* into, std::size_t count) override {
        if (!headRead_) {
            headRead_ = true;
            headLength_ = ReadAt(0, head_.data(), head_.size());
        }
        if (offset < headLength_ && headLength_ - offset >= count) {
            std::copy_n(head_.data() + offset, count, into);
            return count;
        }
        return ReadAt(offset, into, count);
    }

private:
    // Up to `count` bytes from `offset`: fewer at the end of the file, none
    // when it cannot be opened or read.
    std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t count) {
        if (fd_ < 0 && !openFailed_) {
            fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
            openFailed_ = fd_ < 0;
        }
        if (fd_ < 0) return 0;
        std::size_t done = 0;
        while (done < count) {
            const ssize_t got = pread(fd_, into + done, count - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

    std::string path_;
    std::uint64_t size_;
    int fd_ = -1;
    bool openFailed_ = false;
    bool headRead_ = false;
    std::size_t headLength_ = 0;
    std::array<char, 4096> head_;
};

std::string WithoutTrailingSeparators(std::string text) {
    while (EndsWithBackslash(text)) text.pop_back();
    return text;
}

// The names of a path below a root, split at "\" (never the second byte of
// a double-byte character); empty names dropped.
std::vector<std::string> SplitNames(const std::string& rest) {
    std::vector<std::string> names;
    std::string current;
    for (std::size_t pos = 0; pos < rest.size();) {
        const std::size_t length = CharLength(rest, pos);
        if (length == 1 && rest[pos] == '\\') {
            if (!current.empty()) names.push_back(std::move(current));
            current.clear();
        } else {
            current.append(rest, pos, length);
        }
        pos += length;
    }
    if (!current.empty()) names.push_back(std::move(current));
    return names;
}

bool StartsWithFolder(const std::string& upperPath, const std::string& upperRoot) {
    return upperPath.compare(0, upperRoot.size(), upperRoot) == 0 &&
           (upperPath.size() == upperRoot.size() || upperPath[upperRoot.size()] == '\\');
}

}  // namespace

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    static Converter converter("CP932", "UTF-8");
    static Converter back("UTF-8", "CP932");
    std::optional<std::string> converted = converter(utf8);
    // Exact both ways: a name that comes back as another name is not its spelling.
    if (!converted) return std::nullopt;
    const std::optional<std::string> again = back(*converted);
    if (!again || *again != utf8) return std::nullopt;
    return converted;
}

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
    static Converter converter("UTF-8", "CP932");
    return converter(cp932);
}

bool ListsBefore(const std::string& a, const std::string& b) { return KeyOf(a) < KeyOf(b); }

std::string SavedFile::Bytes() const {
    std::string bytes;
    for (const std::string& line : lines) bytes.append(line).append("\r\n");
    return bytes;
}

PreviewWorld& PreviewWorld::Get() {
    static PreviewWorld world;
    return world;
}

void PreviewWorld::Reset(PreviewSetup setup) {
    std::function<void(std::size_t)> progress = std::move(progress_);
    *this = PreviewWorld();
    progress_ = std::move(progress);
    setup_ = std::move(setup);
    sourceKey_ = UpperCaseAscii(WithoutTrailingSeparators(setup_.sourceRoot));
    targetKey_ = UpperCaseAscii(WithoutTrailingSeparators(setup_.rootDir));
}

std::optional<std::filesystem::path> PreviewWorld::MapUnder(const std::string& windowsPath) const {
    const auto cached = mapped_.find(windowsPath);
    if (cached != mapped_.end()) return cached->second;
    std::optional<std::filesystem::path> result;
    const std::string upper = UpperCaseAscii(windowsPath);
    // The longer root first: one folder may lie inside the other.
    const std::pair<const std::string*, const std::filesystem::path*> roots[2] = {
        {&sourceKey_, &setup_.stagedFolder}, {&targetKey_, &setup_.installedFolder}};
    const bool targetFirst = targetKey_.size() > sourceKey_.size();
    for (int i = 0; i < 2; ++i) {
        const auto& [key, folder] = roots[targetFirst ? 1 - i : i];
        if (key->empty() || !StartsWithFolder(upper, *key)) continue;
        std::vector<std::string> names;
        bool spelled = true;
        for (const std::string& name : SplitNames(windowsPath.substr(key->size()))) {
            std::optional<std::string> utf8 = Cp932ToUtf8(name);
            if (!utf8 || *utf8 == "." || *utf8 == ".." || utf8->find('/') != std::string::npos) {
                spelled = false;
                break;
            }
            names.push_back(std::move(*utf8));
        }
        if (spelled) result = ResolveCase(*folder, names);
        break;
    }
    mapped_.emplace(windowsPath, result);
    return result;
}

const PreviewWorld::FolderNames& PreviewWorld::NamesIn(const std::filesystem::path& folder) const {
    const auto cached = folderNames_.find(folder.string());
    if (cached != folderNames_.end()) return cached->second;
    std::vector<std::pair<SortKey, std::string>> found;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        found.emplace_back(KeyOf(name), std::move(name));
    }
    // Of names that differ only in case, the one listed first.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    FolderNames names;
    for (auto& [key, name] : found) {
        names.byUpperKey.emplace(std::move(key.upper), name);
        names.exact.emplace(std::move(name), true);
    }
    return folderNames_.emplace(folder.string(), std::move(names)).first->second;
}

// Name by name: the exact name when the folder holds it, else one that
// differs only in letter case, as a Windows file system finds it.
std::filesystem::path PreviewWorld::ResolveCase(const std::filesystem::path& root,
                                                const std::vector<std::string>& names) const {
    std::filesystem::path path = root;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const FolderNames& inside = NamesIn(path);
        if (inside.exact.count(names[i])) {
            path /= names[i];
            continue;
        }
        const auto match = inside.byUpperKey.find(KeyOf(names[i]).upper);
        if (match == inside.byUpperKey.end()) {
            for (std::size_t j = i; j < names.size(); ++j) path /= names[j];
            return path;
        }
        path /= match->second;
    }
    return path;
}

const PreviewWorld::Status& PreviewWorld::StatusOf(const std::filesystem::path& path) const {
    const auto cached = statuses_.find(path.string());
    if (cached != statuses_.end()) return cached->second;
    Status status;
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        status.exists = true;
        status.folder = S_ISDIR(info.st_mode);
        status.modified = static_cast<long long>(info.st_mtime);
        status.size = static_cast<std::size_t>(info.st_size);
    }
    return statuses_.emplace(path.string(), status).first->second;
}

std::optional<std::filesystem::path> PreviewWorld::LinuxPath(const std::string& windowsPath) const {
    if (!overlay_.empty()) {
        const auto copied = overlay_.find(UpperCaseAscii(windowsPath));
        if (copied != overlay_.end()) return MapUnder(copied->second);
    }
    return MapUnder(windowsPath);
}

bool PreviewWorld::IsPretendFolder(const std::string& path) const {
    const std::string upper = UpperCaseAscii(WithoutTrailingSeparators(path));
    const std::string documents = UpperCaseAscii(kDocumentsFolder);
    return upper == documents ||
           (!setup_.logFolder.empty() && upper == UpperCaseAscii(JoinPath(documents, setup_.logFolder)));
}

FolderListing PreviewWorld::List(const std::string& folder) {
    // Listed once: the logic and the preview's own walk see the same listing.
    const std::string key = UpperCaseAscii(folder);
    const auto cached = listings_.find(key);
    if (cached != listings_.end()) return cached->second;
    FolderListing listing = ReadFolder(folder);
    listed_ += listing.names.size();
    if (progress_) progress_(listed_);
    return listings_.emplace(key, std::move(listing)).first->second;
}

FolderListing PreviewWorld::ReadFolder(const std::string& folder) {
    FolderListing listing;
    if (IsPretendFolder(folder)) return listing;
    const std::optional<std::filesystem::path> path = MapUnder(folder);
    struct stat info;
    if (!path) {
        listing.error = kErrorPathNotFound;
        return listing;
    }
    if (stat(path->c_str(), &info) != 0) {
        listing.error = ErrorOf(errno);
        return listing;
    }
    if (!S_ISDIR(info.st_mode)) {
        listing.error = kErrorDirectory;
        return listing;
    }
    const auto device = static_cast<std::uint64_t>(info.st_dev);
    listing.identity = {static_cast<std::uint32_t>(device ^ (device >> 32)), static_cast<std::uint64_t>(info.st_ino)};

    struct Named {
        SortKey key;
        std::string name;
    };
    std::vector<Named> entries;
    const std::size_t prefix = JoinPath(folder, "").size();
    bool tooLong = false;
    std::error_code error;
    for (std::filesystem::directory_iterator it(*path, error), end; !error && it != end; it.increment(error)) {
        std::string utf8 = it->path().filename().string();
        // Characters no Windows name may hold, "\" among them, make a name
        // that Windows cannot give either.
        std::optional<std::string> name;
        if (utf8.find_first_of("\\:*?\"<>|") == std::string::npos) name = Utf8ToCp932(utf8);
        if (!name) {
            unrepresentable_.push_back(it->path());
            continue;
        }
        // An entry no ANSI call can name: the folder is not listed whole.
        if (prefix + name->size() >= kMaxPath) tooLong = true;
        entries.push_back({KeyOf(utf8), std::move(*name)});
    }
    if (error) {
        listing.error = ErrorOf(error.value());
        return listing;
    }
    if (tooLong) {
        listing.error = kErrorFilenameExcedRange;
        return listing;
    }
    std::sort(entries.begin(), entries.end(), [](const Named& a, const Named& b) { return a.key < b.key; });
    listing.names.reserve(entries.size());
    for (Named& entry : entries) listing.names.push_back(std::move(entry.name));
    return listing;
}

EntryKind PreviewWorld::Kind(const std::string& path) const {
    if (IsPretendFolder(path)) return EntryKind::Folder;
    const std::optional<std::filesystem::path> linux = LinuxPath(path);
    if (!linux) return EntryKind::Missing;
    const Status& status = StatusOf(*linux);
    if (!status.exists) return EntryKind::Missing;
    return status.folder ? EntryKind::Folder : EntryKind::File;
}

bool PreviewWorld::IsFile(const std::string& path) const {
    const std::optional<std::filesystem::path> linux = LinuxPath(path);
    if (!linux) return false;
    const Status& status = StatusOf(*linux);
    if (!status.exists || status.folder) return false;
    // Windows counts a file whose local time stamp has no DOS date as none.
    const std::time_t modified = static_cast<std::time_t>(status.modified);
    std::tm local{};
    if (localtime_r(&modified, &local) == nullptr) return false;
    const int year = local.tm_year + 1900;
    return year >= 1980 && year <= 2107;
}

std::optional<std::string> PreviewWorld::FileVersion(const std::string& path) {
    const std::optional<std::filesystem::path> linux = LinuxPath(path);
    if (!linux) return std::nullopt;
    const auto cached = versions_.find(linux->string());
    if (cached != versions_.end()) return cached->second;
    std::optional<std::string> version;
    const Status& status = StatusOf(*linux);
    if (status.exists && !status.folder) {
        FileSource file(linux->string(), status.size);
        version = kit::ReadJapaneseFileVersion(file);
    }
    versions_.emplace(linux->string(), version);
    return version;
}

void PreviewWorld::Copy(const std::string& source, const std::string& destination) {
    copies_.push_back({source, destination});
    overlay_[UpperCaseAscii(destination)] = source;
}

}  // namespace preview

// ---- the seam ---------------------------------------------------------------

using preview::PreviewWorld;

namespace {

PreviewWorld& World() { return PreviewWorld::Get(); }

}  // namespace

struct RegistryKeyHandle {};

void RegistryKeyCloser::operator()(RegistryKeyHandle* key) const { std::default_delete<RegistryKeyHandle>()(key); }

std::string GetArgument(int n) {
    const TextList& arguments = World().setup().arguments;
    return n >= 1 && static_cast<std::size_t>(n) <= arguments.size() ? arguments[n - 1] : std::string();
}
std::string GetExecutablePath() { return JoinPath(World().setup().sourceRoot, World().setup().updaterName); }
std::string GetCurrentFolder() { return preview::kDocumentsFolder; }
bool SetCurrentFolder(const std::string& path) { return World().Kind(path) == EntryKind::Folder; }
std::string UpperCaseAnsi(const std::string& text) { return UpperCaseAscii(text); }

std::string GetSpecialFolder(SpecialFolder) { return preview::kDocumentsFolder; }

// Every key holds the product's RootDir, and nothing else.
RegistryKey OpenRegistryKey(const std::string&) {
    return RegistryKey(std::make_unique<RegistryKeyHandle>().release());
}

std::string ReadRegistryString(const RegistryKey& key, const std::string& name) {
    return key && name == texts::kRootDirValue ? World().setup().rootDir : std::string();
}

EntryKind GetEntryKind(const std::string& path) { return World().Kind(path); }
bool FileExists(const std::string& path) { return World().IsFile(path); }
FolderListing ListFolder(const std::string& folder) { return World().List(folder); }

void PrepareVersionReading() {}

std::optional<std::string> ReadJapaneseFileVersion(const std::string& path) { return World().FileVersion(path); }

bool CopyFileOver(const std::string& source, const std::string& destination) {
    World().Copy(source, destination);
    return true;
}

void SaveTextFile(const std::string& path, const TextList& lines) { World().Save(path, lines); }

void ShowMessageBox(DialogKind kind, const std::string& text) { World().Box(kind, text); }

void ProcessPendingMessages() {}

struct ProgressWindowHandle {};

void ProgressWindowDestroyer::operator()(ProgressWindowHandle* window) const {
    std::default_delete<ProgressWindowHandle>()(window);
}

ProgressWindow CreateProgressWindow() { return ProgressWindow(std::make_unique<ProgressWindowHandle>().release()); }
void SetProgressText(ProgressWindow&, const std::string&) {}
void ShowProgressWindow(ProgressWindow&) {}
void DestroyProgressWindow(ProgressWindow& window) { window.reset(); }

}  // namespace updater
