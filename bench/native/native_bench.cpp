// Times listing and deciding a large payload against the in-memory Windows.
//
// 100,000 payload files in 100 folders of 1,000 (a tenth of them in a
// sub-folder). Two runs of CopyPayload:
//   decide: every file has a newer installed copy, so every file is listed,
//           both stamps are read and compared, and the file is left alone;
//   mixed:  every other file has one; the rest are missing and get copied
//           (the copies are the stand-in's, which cost more than deciding).
// Usage: native_bench [folders] [files per folder]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fakes/fake_platform.h"
#include "update/copy_engine.h"

using namespace updater;

namespace {

void BuildWorld(fake::FakeWindows& world, int folders, int filesPerFolder, int installedEvery) {
    world.recordCopies = false;
    world.AddFile(world.executablePath);
    for (int f = 0; f < folders; ++f) {
        const std::string folder = "\\folder" + std::to_string(f);
        for (int i = 0; i < filesPerFolder; ++i) {
            const std::string below = folder + (i % 10 == 0 ? "\\sub\\file" : "\\file") + std::to_string(i) + ".dll";
            world.AddVersionedFile("C:\\Stage" + below, "13.1.2." + std::to_string(i));
            if (i % installedEvery == 0) world.AddVersionedFile("D:\\Prod" + below, "13.1.3.0");
        }
    }
}

// Milliseconds of one CopyPayload over the world; prints what it did.
double TimeRun(const fake::FakeWindows& world, const char* name, int entries) {
    const auto start = std::chrono::steady_clock::now();
    CopySession session = BeginCopies({"C:\\Stage", "D:\\Prod"});
    const bool ok = CopyPayload(session, ThisUpdateFolder().updaterName, kProductProfiles[0], PayloadTrust());
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const int copies = world.copyCount;
    std::printf("%-7s entries=%d copied=%d left_alone=%d result=%s time_ms=%.1f\n", name, entries, copies,
                entries - copies, ok ? "true" : "false", ms);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    const int folders = argc > 1 ? std::atoi(argv[1]) : 100;
    const int filesPerFolder = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int entries = folders * filesPerFolder;

    double decide = 0;
    {
        fake::FakeWindows world;
        BuildWorld(world, folders, filesPerFolder, 1);
        decide = TimeRun(world, "decide", entries);
    }
    {
        fake::FakeWindows world;
        BuildWorld(world, folders, filesPerFolder, 2);
        TimeRun(world, "mixed", entries);
    }

    std::printf("listing and deciding: %.1f ms for %d entries (target < 100 ms for 100,000)\n", decide, entries);
    return 0;
}
