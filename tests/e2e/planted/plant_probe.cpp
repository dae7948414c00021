// The control program of the DLL-planting test. Like the updater it imports
// version.dll's functions and creates a window (which makes user32 load
// uxtheme.dll) and loads crypt32.dll at run time, but it leaves the DLL
// search order as it is, so a DLL planted beside it is found there first.
#include <windows.h>

#include <cstdio>

int main() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    DWORD handle = 0;
    std::printf("version_info_size=%lu\n", GetFileVersionInfoSizeA(self, &handle));

    const HWND window = CreateWindowExA(0, "STATIC", "probe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                        nullptr, nullptr, nullptr, nullptr);
    std::printf("window=%d\n", window != nullptr);
    if (window) DestroyWindow(window);
    const HMODULE crypt = LoadLibraryA("crypt32.dll");
    std::printf("crypt32=%d\n", crypt != nullptr);
    if (crypt) FreeLibrary(crypt);
    return 0;
}
