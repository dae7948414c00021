// Times listing and deciding a large payload against the in-memory Windows.
//
// 100,000 payload files in 100 folders of 1,000 (each with a sub-folder of
// 100 of them); every other file has an installed copy with a newer version,
// so half are left alone and logged, half are copied.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/fake_platform.h"
#include "update/copy_engine.h"

using namespace updater;

namespace {

void BuildWorld(int folders, int filesPerFolder) {
    fake::FakeWindows& world = fake::FakeWindows::Get();
    world.Reset();
    world.AddFile(world.executablePath);
    for (int f = 0; f < folders; ++f) {
        const std::string folder = "C:\\Stage\\folder" + std::to_string(f);
        for (int i = 0; i < filesPerFolder; ++i) {
            const std::string below = (i % 10 == 0 ? "\\sub\\file" : "\\file") + std::to_string(i) + ".dll";
            world.AddVersionedFile(folder + below, "13.1.2." + std::to_string(i));
            if (i % 2 == 0)
                world.AddVersionedFile("D:\\Prod\\folder" + std::to_string(f) + below, "13.1.3.0");
        }
    }
    world.recordCopies = false;
}

}  // namespace

int main(int argc, char** argv) {
    const int kFolders = argc > 1 ? std::atoi(argv[1]) : 100;
    const int kFilesPerFolder = argc > 2 ? std::atoi(argv[2]) : 1000;
    BuildWorld(kFolders, kFilesPerFolder);

    const auto start = std::chrono::steady_clock::now();
    const bool ok = CopyPayload("C:\\Stage", "D:\\Prod", kProductProfiles[0]);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    const double ms = std::chrono::duration<double, std::milli>(elapsed).count();
    const std::size_t copies = static_cast<std::size_t>(fake::FakeWindows::Get().copyCount);
    std::printf("entries=%d copied=%zu left_alone=%zu result=%s time_ms=%.1f (target < 100)\n",
                kFolders * kFilesPerFolder, copies, static_cast<std::size_t>(kFolders * kFilesPerFolder) - copies,
                ok ? "true" : "false", ms);
    return ms < 100.0 ? 0 : 1;
}
