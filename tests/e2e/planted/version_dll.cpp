// A stand-in version.dll for the DLL-planting test. It must never be loaded by
// the updater: when any process loads it, it writes that process's path into
// the file named by the environment variable E2E_PLANT_MARKER.
#include <windows.h>

namespace {

constexpr char kMarkerVariable[] = "E2E_PLANT_MARKER";

void WriteMarker() {
    char markerPath[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA(kMarkerVariable, markerPath, sizeof markerPath);
    if (length == 0 || length >= sizeof markerPath) return;
    char process[MAX_PATH] = {};
    const DWORD processLength = GetModuleFileNameA(nullptr, process, sizeof process);
    const HANDLE file = CreateFileA(markerPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, process, processLength, &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) WriteMarker();
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
