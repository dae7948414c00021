// A DLL that must never be loaded by the updater, planted under the names of
// DLLs that a run loads (beside the updater, where a careless search looks
// first). Whenever a process loads it, it appends one line to the file named
// by the environment variable E2E_PLANT_MARKER:
//   <this DLL's path>|<"static" or "dynamic">|<the process's executable path>
// "static" means it was loaded while the process started (an import), and
// "dynamic" that it was loaded later (LoadLibrary, delay-loaded imports).
#include <windows.h>

#include <string>

namespace {

constexpr char kMarkerVariable[] = "E2E_PLANT_MARKER";

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    return std::string(path, length);
}

void AppendMarker(HINSTANCE self, bool staticLoad) {
    char markerPath[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA(kMarkerVariable, markerPath, sizeof markerPath);
    if (length == 0 || length >= sizeof markerPath) return;
    const std::string line = ModulePath(self) + "|" + (staticLoad ? "static" : "dynamic") + "|" +
                             ModulePath(nullptr) + "\r\n";
    const HANDLE file = CreateFileA(markerPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    // For DLL_PROCESS_ATTACH, `reserved` is non-null for loads at process start.
    if (reason == DLL_PROCESS_ATTACH) AppendMarker(self, reserved != nullptr);
    return TRUE;
}

// The exports a caller of version.dll looks for; each reports "no version".
extern "C" DWORD WINAPI PlantedGetFileVersionInfoSizeA(LPCSTR, LPDWORD handle) {
    if (handle) *handle = 0;
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}

extern "C" BOOL WINAPI PlantedGetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
}

extern "C" BOOL WINAPI PlantedVerQueryValueA(LPCVOID, LPCSTR, LPVOID* value, PUINT length) {
    if (value) *value = nullptr;
    if (length) *length = 0;
    return FALSE;
}
