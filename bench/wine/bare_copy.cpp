// bare_copy: the floor of an update run under Wine. It copies the files of a
// list with the very shell call the updater makes (SHFileOperationA, FO_COPY,
// flags 0x2214, one source, the destination's full file name, a hidden
// top-level window as owner) and does nothing else: no listing, no version
// reads, no decisions, no log.
//
//   bare_copy LISTFILE
//
// LISTFILE holds one "source|destination" pair per line (code page 932 bytes,
// CR LF or LF). Exit code 0 when every copy returned 0, 1 when one failed (it
// stops there, as the updater does), 2 on a usage or list error. Written to
// standard error: the time spent in the copy loop as "loop_ms=N", and the
// wall-clock time at its end as "end_unix_ms=N" (Wine's clock is the host's,
// so the benchmark can measure from its own start of the process).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

constexpr FILEOP_FLAGS kUpdaterCopyFlags = 0x2214;
constexpr unsigned long long kUnixEpochIn100ns = 116444736000000000ULL;

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

int CopyOne(HWND owner, const CopyPair& pair) {
    // Each name list ends in two NUL bytes.
    const std::string from = pair.source + '\0' + '\0';
    const std::string to = pair.destination + '\0' + '\0';
    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = owner;
    operation.wFunc = FO_COPY;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = kUpdaterCopyFlags;
    return SHFileOperationA(&operation);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<CopyPair> pairs;
    if (argc != 2 || !ReadPairs(argv[1], pairs)) {
        std::fprintf(stderr, "usage: bare_copy LISTFILE (lines source|destination)\n");
        return 2;
    }
    const UniqueWindow owner = CreateOwnerWindow();
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int status = 0;
    for (const CopyPair& pair : pairs) {
        if (const int result = CopyOne(owner.get(), pair); result != 0) {
            std::fprintf(stderr, "copy failed (0x%X): %s\n", static_cast<unsigned>(result), pair.source.c_str());
            status = 1;
            break;
        }
    }
    QueryPerformanceCounter(&end);
    std::fprintf(stderr, "end_unix_ms=%llu\nloop_ms=%lld\n", UnixMillisNow(),
                 static_cast<long long>((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart));
    std::fflush(stderr);
    return status;
}
