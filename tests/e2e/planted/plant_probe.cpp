// Imports version.dll the ordinary way (through its import table), so the
// loader's search order applies: beside the program first. The DLL-planting
// test runs it to show that a planted version.dll is noticed when loaded.
#include <windows.h>

#include <cstdio>

int main() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(self, &handle);
    std::printf("version_info_size=%lu\n", static_cast<unsigned long>(size));
    return 0;
}
