#include "scenario.h"
#include "update/payload.h"

namespace updater {
namespace {

using Payload = Scenario;
using testing::ElementsAre;
using testing::IsEmpty;

TEST_F(Payload, LooseFilesBesideTheUpdaterAreNoPayload) {
    world().AddFile("C:\\Stage\\readme.txt");
    world().AddFile("C:\\Stage\\setup.ini");
    EXPECT_THAT(ListPayload(ListMode::FoldersOnly, "C:\\Stage"), IsEmpty());
}

TEST_F(Payload, FilesDeepIsDepthFirstInSearchOrderWithoutFolders) {
    world().AddFile("C:\\Stage\\A\\x");
    world().AddFile("C:\\Stage\\A\\C\\y");
    world().AddFolder("C:\\Stage\\A\\Empty");
    world().AddFile("C:\\Stage\\A\\z");
    world().AddFile("C:\\Stage\\B\\w");
    EXPECT_THAT(ListPayload(ListMode::FoldersOnly, "C:\\Stage"), ElementsAre("C:\\Stage\\A", "C:\\Stage\\B"));
    EXPECT_THAT(ListPayload(ListMode::FilesDeep, "C:\\Stage\\A"),
                ElementsAre("C:\\Stage\\A\\x", "C:\\Stage\\A\\C\\y", "C:\\Stage\\A\\z"));
}

TEST_F(Payload, SkipsTheUpdatersOwnNameAtEveryDepthCaseSensitively) {
    world().AddFile("C:\\Stage\\bin\\updater.exe");
    world().AddFile("C:\\Stage\\bin\\deep\\updater.exe");
    world().AddFile("C:\\Stage\\bin\\Updater.exe");
    EXPECT_THAT(ListPayload(ListMode::FilesDeep, "C:\\Stage\\bin"), ElementsAre("C:\\Stage\\bin\\Updater.exe"));
}

TEST_F(Payload, HiddenAndSystemEntriesAreListedUnreadableOnesLeftOut) {
    world().AddFile("C:\\Stage\\bin\\hidden.dat", {}, 0x22);
    world().AddFile("C:\\Stage\\bin\\system.dat", {}, 0x24);
    world().AddFolder("C:\\Stage\\bin\\hiddenfolder", 0x12);
    world().AddFile("C:\\Stage\\bin\\hiddenfolder\\f");
    world().AddFile("C:\\Stage\\bin\\gone.dat");
    world().unreadableAttributes.insert("C:\\STAGE\\BIN\\GONE.DAT");
    EXPECT_THAT(ListPayload(ListMode::FilesDeep, "C:\\Stage\\bin"),
                ElementsAre("C:\\Stage\\bin\\hidden.dat", "C:\\Stage\\bin\\system.dat",
                            "C:\\Stage\\bin\\hiddenfolder\\f"));
}

TEST_F(Payload, ADriveRootFolderIsJoinedWithOneSeparator) {
    world().executablePath = "E:\\updater.exe";
    world().AddFile("E:\\updater.exe");
    world().AddFile("E:\\bin\\a.dll");
    EXPECT_THAT(ListPayload(ListMode::FoldersOnly, "E:\\"), ElementsAre("E:\\bin"));
    EXPECT_THAT(ListPayload(ListMode::FilesDeep, "E:\\bin"), ElementsAre("E:\\bin\\a.dll"));
}

}  // namespace
}  // namespace updater
