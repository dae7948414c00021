// bare_copy: the floor of an update run under Wine. It copies the files of a
// list with the very shell call the updater makes (SHFileOperationA, FO_COPY,
// flags 0x2214, one source, the destination's full file name, a hidden
// top-level window as owner) and does nothing else: no listing, no version
// reads, no decisions, no log.
//
//   bare_copy [--versions | --whole] LISTFILE
//
// With --versions it also makes the version reads any updater that keeps
// newer installed copies must make, in the updater's order: the installed
// copy's version (when it exists and starts with "MZ"), and only when that
// is known the new file's, then the copy (b2 of the benchmark). Nothing
// else of the updater's work: no listing, no name or link checks, no bounds,
// no hashes, no log.
//
// With --whole it makes the same version reads and copies whole or not at
// all (b3): the shell writes each file under the temporary name beside the
// installed one, the new file is opened and compared byte for byte with the
// payload file, and renamed over the installed one through its handle.
// Nothing else: no temporary file made beforehand, no link checks, no held
// folders.
//
// LISTFILE holds one "source|destination" pair per line (code page 932 bytes,
// CR LF or LF). Exit code 0 when every copy returned 0, 1 when one failed (it
// stops there, as the updater does), 2 on a usage or list error. Written to
// standard error: the time spent in the copy loop as "loop_ms=N", and the
// wall-clock time at its end as "end_unix_ms=N" (Wine's clock is the host's,
// so the benchmark can measure from its own start of the process), and the
// number of versions that --versions found as "versions_found=N".
#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "copy_calls.h"
#include "rules/cp932.h"
#include "rules/file_name.h"

namespace {

constexpr unsigned long long kUnixEpochIn100ns = 116444736000000000ULL;
// The updater's own query of the Japanese table's FileVersion.
const std::string kJapaneseFileVersion = std::string("\\StringFileInfo\\") + updater::kJapaneseStringTable + "\\FileVersion";
// Room for any version resource and the ANSI query's converted texts.
constexpr std::size_t kLargestVersionInfo = 2 * 0xFFFF + 8;

unsigned long long UnixMillisNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (ticks - kUnixEpochIn100ns) / 10000;
}

struct WindowDestroyer {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

struct CopyPair {
    std::string source;
    std::string destination;
};

bool ReadPairs(const char* path, std::vector<CopyPair>& pairs) {
    std::ifstream list(path, std::ios::binary);
    if (!list) return false;
    std::string line;
    while (std::getline(list, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::size_t bar = line.find('|');
        if (bar == std::string::npos) return false;
        pairs.push_back({line.substr(0, bar), line.substr(bar + 1)});
    }
    return true;
}

// A hidden owner like the updater's own application window.
UniqueWindow CreateOwnerWindow() {
    return UniqueWindow(CreateWindowExA(0, "STATIC", "bare_copy", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        GetModuleHandleA(nullptr), nullptr));
}

// The existence test the updater makes: one attribute query and a DOS time.
bool FileExists(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    FILETIME local;
    WORD date = 0, time = 0;
    return FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToDosDateTime(&local, &date, &time);
}

bool StartsWithMz(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return true;
    char signature[2] = {};
    DWORD read = 0;
    const bool ok = ReadFile(file, signature, sizeof signature, &read, nullptr);
    CloseHandle(file);
    return !ok || (read == sizeof signature && signature[0] == 'M' && signature[1] == 'Z');
}

// The Japanese FileVersion text, read as the updater reads it; "" for none.
std::string ReadVersion(const std::string& path) {
    if (!FileExists(path) || !StartsWithMz(path)) return "";
    std::vector<std::uint8_t> buffer(kLargestVersionInfo);
    if (!GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(buffer.size()), buffer.data())) return "";
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(buffer.data(), kJapaneseFileVersion.c_str(), &value, &length) || !value) return "";
    return std::string(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), length));
}

// The reads before a copy; the new file's version is read only against a
// known installed one, as the updater does. Counts the versions found.
int ReadVersionsOf(const CopyPair& pair) {
    if (ReadVersion(pair.destination).empty()) return 0;
    return 1 + !ReadVersion(pair.source).empty();
}

struct FileCloser {
    void operator()(HANDLE file) const { CloseHandle(file); }
};
using UniqueFile = std::unique_ptr<std::remove_pointer_t<HANDLE>, FileCloser>;

UniqueFile OpenForReading(const std::string& path, DWORD access) {
    const HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return UniqueFile(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// The whole-or-nothing copy: under the temporary name, compared, renamed.
int CopyWhole(HWND owner, const CopyPair& pair, std::vector<char>& buffer) {
    const std::size_t slash = pair.destination.find_last_of('\\');
    const std::string temporary = pair.destination.substr(0, slash + 1) + updater::kTemporaryCopyName;
    if (const int result = bench::ShellCopy(owner, pair.source, temporary); result != 0) return result;
    const UniqueFile written = OpenForReading(temporary, GENERIC_READ | DELETE);
    const UniqueFile source = OpenForReading(pair.source, GENERIC_READ);
    if (!written || !source || !bench::SameBytes(written.get(), source.get(), buffer)) return -1;
    return bench::RenameOver(written.get(), pair.destination) ? 0 : -2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<CopyPair> pairs;
    const bool whole = argc == 3 && std::strcmp(argv[1], "--whole") == 0;
    const bool versions = whole || (argc == 3 && std::strcmp(argv[1], "--versions") == 0);
    if (argc != 2 + versions || !ReadPairs(argv[argc - 1], pairs)) {
        std::fprintf(stderr, "usage: bare_copy [--versions | --whole] LISTFILE (lines source|destination)\n");
        return 2;
    }
    std::vector<char> buffer(2 * 256 * 1024);
    const UniqueWindow owner = CreateOwnerWindow();
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int status = 0;
    int versionsFound = 0;
    for (const CopyPair& pair : pairs) {
        if (versions) versionsFound += ReadVersionsOf(pair);
        const int result = whole ? CopyWhole(owner.get(), pair, buffer)
                                 : bench::ShellCopy(owner.get(), pair.source, pair.destination);
        if (result != 0) {
            std::fprintf(stderr, "copy failed (0x%X): %s\n", static_cast<unsigned>(result), pair.source.c_str());
            status = 1;
            break;
        }
    }
    QueryPerformanceCounter(&end);
    std::fprintf(stderr, "end_unix_ms=%llu\nloop_ms=%lld\nversions_found=%d\n", UnixMillisNow(),
                 static_cast<long long>((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart), versionsFound);
    std::fflush(stderr);
    return status;
}
