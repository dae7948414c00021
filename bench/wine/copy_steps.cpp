// copy_steps: where the time of the updater's copy of one file goes under
// Wine, step by step. It makes, for each file of a list, the calls the
// updater's copy makes in their order, and sums the time of each step over
// the list:
//
//   hold       the listing's hold of the payload file: opened with read
//              sharing only, its kind, link count and final path read
//   recheck    the same file checked again where it lies before its copy
//   create     the temporary file made anew beside the installed one
//   shell      the shell's copy of the payload file onto it
//   reopen     the temporary file opened again, its kind and final path read
//   compare    its bytes compared with the payload file's
//   rename     renamed over the installed file through its handle
//   close      both handles closed
//
//   copy_steps LISTFILE      (lines source|destination, code page 932)
//
// No folders are held and no versions read: the benchmark's (b2) and the
// updater's folder walk time those. Prints "files=N" and "NAME_ms=N" for
// each step on standard output; exit code 1 when a copy failed.
#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "copy_calls.h"
#include "rules/file_name.h"

namespace {

constexpr const char* kSteps[] = {"hold", "recheck", "create", "shell", "reopen", "compare", "rename", "close"};
constexpr int kStepCount = sizeof kSteps / sizeof kSteps[0];

// The handle's kind, link count and final path, as the updater checks them.
bool CheckHandle(HANDLE file) {
    FILE_ATTRIBUTE_TAG_INFO tag;
    FILE_STANDARD_INFO standard;
    wchar_t path[MAX_PATH + 1];
    return GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
           GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) &&
           GetFinalPathNameByHandleW(file, path, MAX_PATH, 0) > 0;
}

class Steps {
public:
    Steps() { QueryPerformanceFrequency(&frequency_); }
    void Start() { QueryPerformanceCounter(&last_); }
    // Ends step `index` and starts the next.
    void End(int index) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        totals_[index] += (now.QuadPart - last_.QuadPart) * 1000.0 / frequency_.QuadPart;
        last_ = now;
    }
    double Total(int index) const { return totals_[index]; }

private:
    LARGE_INTEGER frequency_{}, last_{};
    double totals_[kStepCount] = {};
};

bool CopyOne(const std::string& source, const std::string& destination, Steps& steps, std::vector<char>& buffer) {
    const std::string temporary = destination.substr(0, destination.find_last_of('\\') + 1) + updater::kTemporaryCopyName;
    const std::wstring wideSource = bench::Wide(source), wideTemporary = bench::Wide(temporary);
    steps.Start();
    const HANDLE held = CreateFileW(wideSource.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (held == INVALID_HANDLE_VALUE || !CheckHandle(held)) return false;
    steps.End(0);
    if (!CheckHandle(held)) return false;
    steps.End(1);
    const HANDLE made = CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (made == INVALID_HANDLE_VALUE) return false;
    CloseHandle(made);
    steps.End(2);
    if (bench::ShellCopy(nullptr, source, temporary) != 0) return false;
    steps.End(3);
    const HANDLE written = CreateFileW(wideTemporary.c_str(), GENERIC_READ | DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (written == INVALID_HANDLE_VALUE || !CheckHandle(written)) return false;
    steps.End(4);
    if (!bench::SameBytes(written, held, buffer)) return false;
    steps.End(5);
    if (!bench::RenameOver(written, destination)) return false;
    steps.End(6);
    CloseHandle(written);
    CloseHandle(held);
    steps.End(7);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: copy_steps LISTFILE (lines source|destination)\n");
        return 2;
    }
    std::ifstream list(argv[1], std::ios::binary);
    std::vector<char> buffer(2 * 256 * 1024);
    Steps steps;
    std::size_t files = 0;
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t bar = line.find('|');
        if (bar == std::string::npos) continue;
        if (!CopyOne(line.substr(0, bar), line.substr(bar + 1), steps, buffer)) {
            std::fprintf(stderr, "copy failed (%lu): %s\n", GetLastError(), line.c_str());
            return 1;
        }
        ++files;
    }
    std::printf("files=%zu\n", files);
    for (int step = 0; step < kStepCount; ++step) std::printf("%s_ms=%.0f\n", kSteps[step], steps.Total(step));
    return 0;
}
