#include "scenario.h"
#include "update/payload.h"

namespace updater {
namespace {

using Payload = Scenario;
using testing::ElementsAre;
using testing::IsEmpty;

// What one walk of the payload told its visitor, and how it ended. The
// visitor stops the walk after the file `stopAfter` when one is named.
struct Walked {
    std::vector<std::string> files;
    PayloadWalk end;
};

Walked Walk(const std::string& sourceRoot = "C:\\Stage", const std::string& stopAfter = "") {
    Walked walked;
    walked.end = WalkPayload(sourceRoot, ThisUpdateFolder().updaterName, [&](const std::string& file) {
        walked.files.push_back(file);
        return file != stopAfter;
    });
    return walked;
}

std::vector<std::string> Files(const std::string& sourceRoot = "C:\\Stage") {
    const Walked walked = Walk(sourceRoot);
    EXPECT_TRUE(walked.end.whole()) << walked.end.unreadableFolder;
    return walked.files;
}

TEST_F(Payload, LooseFilesBesideTheUpdaterAreNoPayload) {
    world().AddFile("C:\\Stage\\readme.txt");
    world().AddFile("C:\\Stage\\setup.ini");
    EXPECT_THAT(Files(), IsEmpty());
}

TEST_F(Payload, FilesDeepIsDepthFirstInSearchOrderWithoutFolders) {
    world().AddFile("C:\\Stage\\A\\x");
    world().AddFile("C:\\Stage\\A\\C\\y");
    world().AddFolder("C:\\Stage\\A\\Empty");
    world().AddFile("C:\\Stage\\A\\z");
    world().AddFile("C:\\Stage\\B\\w");
    EXPECT_THAT(Files(), ElementsAre("C:\\Stage\\A\\x", "C:\\Stage\\A\\C\\y", "C:\\Stage\\A\\z", "C:\\Stage\\B\\w"));
    // A visitor that stops the walk is told of no file after.
    const Walked stopped = Walk("C:\\Stage", "C:\\Stage\\A\\C\\y");
    EXPECT_TRUE(stopped.end.stopped);
    EXPECT_EQ(stopped.end.unreadableFolder, "");
    EXPECT_THAT(stopped.files, ElementsAre("C:\\Stage\\A\\x", "C:\\Stage\\A\\C\\y"));
}

TEST_F(Payload, SkipsTheUpdatersOwnNameAtEveryDepthCaseSensitively) {
    world().AddFile("C:\\Stage\\bin\\updater.exe");
    world().AddFile("C:\\Stage\\bin\\deep\\updater.exe");
    world().AddFile("C:\\Stage\\bin\\Updater.exe");
    EXPECT_THAT(Files(), ElementsAre("C:\\Stage\\bin\\Updater.exe"));
}

TEST_F(Payload, EntriesThatCannotBeReadAreLeftOutSilently) {
    world().AddFile("C:\\Stage\\bin\\a.dat");
    world().AddFile("C:\\Stage\\bin\\gone.dat");
    world().AddFile("C:\\Stage\\bin\\gonefolder\\f");
    world().FailEntryKind("C:\\Stage\\bin\\gone.dat");
    world().FailEntryKind("C:\\Stage\\bin\\gonefolder");
    EXPECT_THAT(Files(), ElementsAre("C:\\Stage\\bin\\a.dat"));
}

TEST_F(Payload, ADriveRootFolderIsJoinedWithOneSeparator) {
    world().executablePath = "E:\\updater.exe";
    world().AddFile("E:\\updater.exe");
    world().AddFile("E:\\bin\\a.dll");
    EXPECT_THAT(Files("E:\\"), ElementsAre("E:\\bin\\a.dll"));
}

// Each folder beside the updater is listed whole before its first file is
// visited: nothing of one that cannot be is, and the walk ends there.
TEST_F(Payload, AFolderThatCannotBeListedEndsTheListingAndIsNamed) {
    world().AddFile("C:\\Stage\\A\\first.dll");
    world().AddFile("C:\\Stage\\bin\\a.dll");
    world().AddFile("C:\\Stage\\bin\\locked\\b.dll");
    world().AddFile("C:\\Stage\\bin\\z.dll");
    world().AddFile("C:\\Stage\\C\\c.dll");
    world().FailListing("C:\\Stage\\bin\\locked");
    const Walked walked = Walk();
    EXPECT_FALSE(walked.end.whole());
    EXPECT_FALSE(walked.end.stopped);
    EXPECT_EQ(walked.end.unreadableFolder, "C:\\Stage\\bin\\locked");
    EXPECT_THAT(walked.files, ElementsAre("C:\\Stage\\A\\first.dll"));

    world().FailListing("C:\\Stage");
    const Walked none = Walk();
    EXPECT_EQ(none.end.unreadableFolder, "C:\\Stage");
    EXPECT_THAT(none.files, IsEmpty());
}

TEST_F(Payload, AnEmptyFolderIsNoFailure) {
    world().AddFolder("C:\\Stage\\bin\\empty");
    EXPECT_THAT(Files(), IsEmpty());
}

// Any link ends the listing, wherever it leads: back into the payload or
// out of it to what the elevated run may read and the user may not.
TEST_F(Payload, ALinkOfAnyKindEndsTheListingAndNamesItsFolder) {
    for (const char* target : {"C:\\Stage\\bin", "C:\\Stage", "C:\\Shared"}) {
        SCOPED_TRACE(target);
        SetUp();
        world().AddFile("C:\\Shared\\common.dll");
        world().AddFile("C:\\Stage\\bin\\a.dll");
        world().AddFile("C:\\Stage\\bin\\sub\\b.dll");
        world().AddFolderLink("C:\\Stage\\bin\\sub\\link", target);
        const Walked walked = Walk();
        EXPECT_EQ(walked.end.unreadableFolder, "C:\\Stage\\bin\\sub");
        EXPECT_THAT(walked.files, IsEmpty());
    }
}

TEST_F(Payload, AFolderReachedAgainThroughALinkTheSystemDoesNotShowEndsTheListing) {
    world().AddFile("C:\\Stage\\bin\\a.dll");
    world().AddFolderLink("C:\\Stage\\bin\\sub\\root", "C:\\Stage", /*reported=*/false);
    EXPECT_EQ(Walk().end.unreadableFolder, "C:\\Stage\\bin\\sub\\root");
}

// Only entries taken into the payload count: a loose file beside the updater
// is never copied, whatever its name.
TEST_F(Payload, ANameWindowsWouldTakeForAnotherEndsTheListingOfThePayloadOnly) {
    for (const char* name : {"x.dat.", "x.dat ", "CON", "nul.txt", "a:b", "a/b", "Com7.log"}) {
        SCOPED_TRACE(name);
        SetUp();
        world().AddFile(std::string("C:\\Stage\\") + name);
        world().AddFile("C:\\Stage\\bin\\a.dll");
        EXPECT_THAT(Files(), ElementsAre("C:\\Stage\\bin\\a.dll"));
        world().AddFile(std::string("C:\\Stage\\bin\\sub\\") + name);
        EXPECT_EQ(Walk().end.unreadableFolder, "C:\\Stage\\bin\\sub");
    }
}

}  // namespace
}  // namespace updater
