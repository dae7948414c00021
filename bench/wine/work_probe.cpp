// work_probe: times, under Wine, the Windows calls an update run makes besides
// the shell copy, phase by phase, on a payload and an installed tree:
//
//   list      the folder search of the payload: FindFirstFileA/FindNextFileA
//             over "*.*" with every entry's attributes read again
//             (GetFileAttributesA), depth first
//   new       the new file's version: the existence test (FindFirstFileA and
//             the time-stamp conversions), GetFileVersionInfoSizeA,
//             GetFileVersionInfoA, VerQueryValueA of the Japanese FileVersion
//   installed the same for the installed copy, when it exists
//
//   work_probe SOURCE_ROOT TARGET_ROOT       (Windows paths, no trailing "\")
//
// Prints "files=N", "list_ms=N", "new_ms=N", "installed_ms=N" on standard
// output, then the new files' reads call by call ("exists_ms",
// "size_ms_versioned" / "size_ms_plain", "info_ms", "query_ms"), and for
// comparison one resource load per file ("single_load_ms": LoadLibraryExA as
// a data file, FindResource, LoadResource). It copies nothing; the benchmark
// runs it on a freshly reset product folder, the state the updater meets.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "rules/cp932.h"

namespace {

// The updater's own query of the Japanese table's FileVersion.
const std::string kJapaneseFileVersion = std::string("\\StringFileInfo\\") + updater::kJapaneseStringTable + "\\FileVersion";

struct FindCloser {
    void operator()(HANDLE handle) const { FindClose(handle); }
};
using UniqueFind = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;

class Stopwatch {
public:
    Stopwatch() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    long long Milliseconds() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return (now.QuadPart - start_.QuadPart) * 1000 / frequency_.QuadPart;
    }

private:
    LARGE_INTEGER frequency_;
    LARGE_INTEGER start_;
};

void ListFiles(const std::string& folder, std::vector<std::string>& files) {
    WIN32_FIND_DATAA entry;
    const UniqueFind search(FindFirstFileA((folder + "\\*.*").c_str(), &entry));
    if (search.get() == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListFiles(path, files);
        } else {
            files.push_back(path);
        }
    } while (FindNextFileA(search.get(), &entry));
}

bool FileExists(const std::string& path) {
    WIN32_FIND_DATAA entry;
    const UniqueFind search(FindFirstFileA(path.c_str(), &entry));
    if (search.get() == INVALID_HANDLE_VALUE || (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    FILETIME local;
    WORD date = 0, time = 0;
    return FileTimeToLocalFileTime(&entry.ftLastWriteTime, &local) && FileTimeToDosDateTime(&local, &date, &time);
}

struct ModuleFreer {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer>;

// Time spent in each call of a version read, summed over many files.
struct CallTimes {
    double exists = 0, sizeVersioned = 0, sizePlain = 0, info = 0, query = 0, singleLoad = 0;
};

double MillisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (now.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
}

void TimeCalls(const std::string& path, CallTimes& times) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    const bool exists = FileExists(path);
    times.exists += MillisecondsSince(start);
    if (!exists) return;
    DWORD ignored = 0;
    QueryPerformanceCounter(&start);
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    (size ? times.sizeVersioned : times.sizePlain) += MillisecondsSince(start);
    if (size == 0) return;
    std::vector<char> buffer(size, 0);
    QueryPerformanceCounter(&start);
    GetFileVersionInfoA(path.c_str(), 0, size, buffer.data());
    times.info += MillisecondsSince(start);
    char* value = nullptr;
    UINT length = 0;
    QueryPerformanceCounter(&start);
    VerQueryValueA(buffer.data(), kJapaneseFileVersion.c_str(), reinterpret_cast<void**>(&value), &length);
    times.query += MillisecondsSince(start);

    // The same resource, loaded once.
    QueryPerformanceCounter(&start);
    const UniqueModule module(
        LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (module) {
        if (const HRSRC found = FindResourceA(module.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)))
            LockResource(LoadResource(module.get(), found));
    }
    times.singleLoad += MillisecondsSince(start);
}

// The version text of a file, or "" when it has none.
std::string ReadFileVersion(const std::string& path) {
    if (!FileExists(path)) return "";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return "";
    std::vector<char> buffer(size, 0);
    GetFileVersionInfoA(path.c_str(), 0, size, buffer.data());
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(buffer.data(), kJapaneseFileVersion.c_str(), reinterpret_cast<void**>(&value), &length)) return "";
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: work_probe SOURCE_ROOT TARGET_ROOT\n");
        return 2;
    }
    const std::string sourceRoot = argv[1];
    const std::string targetRoot = argv[2];

    const Stopwatch listing;
    std::vector<std::string> files;
    WIN32_FIND_DATAA entry;
    const UniqueFind top(FindFirstFileA((sourceRoot + "\\*.*").c_str(), &entry));
    if (top.get() != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            const std::string path = sourceRoot + "\\" + name;
            if (name != "." && name != ".." && (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY))
                ListFiles(path, files);
        } while (FindNextFileA(top.get(), &entry));
    }
    const long long listMs = listing.Milliseconds();

    std::size_t versioned = 0;
    const Stopwatch newFiles;
    for (const std::string& file : files) versioned += !ReadFileVersion(file).empty();
    const long long newMs = newFiles.Milliseconds();

    std::size_t installed = 0;
    const Stopwatch installedFiles;
    for (const std::string& file : files) {
        const std::string dest = targetRoot + file.substr(sourceRoot.size());
        if (FileExists(dest)) {
            ++installed;
            ReadFileVersion(dest);
        }
    }
    const long long installedMs = installedFiles.Milliseconds();

    std::printf("files=%zu\nversioned=%zu\ninstalled=%zu\nlist_ms=%lld\nnew_ms=%lld\ninstalled_ms=%lld\n",
                files.size(), versioned, installed, listMs, newMs, installedMs);

    CallTimes times;
    for (const std::string& file : files) TimeCalls(file, times);
    std::printf("exists_ms=%.0f\nsize_ms_versioned=%.0f\nsize_ms_plain=%.0f\ninfo_ms=%.0f\nquery_ms=%.0f\n"
                "single_load_ms=%.0f\n",
                times.exists, times.sizeVersioned, times.sizePlain, times.info, times.query, times.singleLoad);
    return 0;
}
