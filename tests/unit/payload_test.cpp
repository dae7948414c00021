#include "scenario.h"
#include "update/payload.h"

namespace updater {
namespace {

using Payload = Scenario;
using testing::ElementsAre;
using testing::IsEmpty;

std::vector<std::string> Paths(ListMode mode, const std::string& folder) {
    const PayloadListing listing = ListPayload(mode, folder);
    EXPECT_TRUE(listing.ok()) << listing.unreadableFolder;
    return listing.paths;
}

TEST_F(Payload, LooseFilesBesideTheUpdaterAreNoPayload) {
    world().AddFile("C:\\Stage\\readme.txt");
    world().AddFile("C:\\Stage\\setup.ini");
    EXPECT_THAT(Paths(ListMode::FoldersOnly, "C:\\Stage"), IsEmpty());
}

TEST_F(Payload, FilesDeepIsDepthFirstInSearchOrderWithoutFolders) {
    world().AddFile("C:\\Stage\\A\\x");
    world().AddFile("C:\\Stage\\A\\C\\y");
    world().AddFolder("C:\\Stage\\A\\Empty");
    world().AddFile("C:\\Stage\\A\\z");
    world().AddFile("C:\\Stage\\B\\w");
    EXPECT_THAT(Paths(ListMode::FoldersOnly, "C:\\Stage"), ElementsAre("C:\\Stage\\A", "C:\\Stage\\B"));
    EXPECT_THAT(Paths(ListMode::FilesDeep, "C:\\Stage\\A"),
                ElementsAre("C:\\Stage\\A\\x", "C:\\Stage\\A\\C\\y", "C:\\Stage\\A\\z"));
}

TEST_F(Payload, SkipsTheUpdatersOwnNameAtEveryDepthCaseSensitively) {
    world().AddFile("C:\\Stage\\bin\\updater.exe");
    world().AddFile("C:\\Stage\\bin\\deep\\updater.exe");
    world().AddFile("C:\\Stage\\bin\\Updater.exe");
    EXPECT_THAT(Paths(ListMode::FilesDeep, "C:\\Stage\\bin"), ElementsAre("C:\\Stage\\bin\\Updater.exe"));
}

TEST_F(Payload, EntriesThatCannotBeReadAreLeftOutSilently) {
    world().AddFile("C:\\Stage\\bin\\a.dat");
    world().AddFile("C:\\Stage\\bin\\gone.dat");
    world().AddFile("C:\\Stage\\bin\\gonefolder\\f");
    world().FailEntryKind("C:\\Stage\\bin\\gone.dat");
    world().FailEntryKind("C:\\Stage\\bin\\gonefolder");
    EXPECT_THAT(Paths(ListMode::FilesDeep, "C:\\Stage\\bin"), ElementsAre("C:\\Stage\\bin\\a.dat"));
}

TEST_F(Payload, ADriveRootFolderIsJoinedWithOneSeparator) {
    world().executablePath = "E:\\updater.exe";
    world().AddFile("E:\\updater.exe");
    world().AddFile("E:\\bin\\a.dll");
    EXPECT_THAT(Paths(ListMode::FoldersOnly, "E:\\"), ElementsAre("E:\\bin"));
    EXPECT_THAT(Paths(ListMode::FilesDeep, "E:\\bin"), ElementsAre("E:\\bin\\a.dll"));
}

TEST_F(Payload, AFolderThatCannotBeListedEndsTheListingAndIsNamed) {
    world().AddFile("C:\\Stage\\bin\\a.dll");
    world().AddFile("C:\\Stage\\bin\\locked\\b.dll");
    world().AddFile("C:\\Stage\\bin\\z.dll");
    world().FailListing("C:\\Stage\\bin\\locked");
    const PayloadListing listing = ListPayload(ListMode::FilesDeep, "C:\\Stage\\bin");
    EXPECT_FALSE(listing.ok());
    EXPECT_EQ(listing.unreadableFolder, "C:\\Stage\\bin\\locked");
    EXPECT_THAT(listing.paths, ElementsAre("C:\\Stage\\bin\\a.dll"));  // nothing after it
}

TEST_F(Payload, AnEmptyFolderIsNoFailure) {
    world().AddFolder("C:\\Stage\\bin\\empty");
    const PayloadListing listing = ListPayload(ListMode::FilesDeep, "C:\\Stage\\bin");
    EXPECT_TRUE(listing.ok());
    EXPECT_THAT(listing.paths, IsEmpty());
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
        const PayloadListing listing = ListPayload(ListMode::FilesDeep, "C:\\Stage\\bin");
        EXPECT_EQ(listing.unreadableFolder, "C:\\Stage\\bin\\sub");
        EXPECT_THAT(listing.paths, ElementsAre("C:\\Stage\\bin\\a.dll", "C:\\Stage\\bin\\sub\\b.dll"));
    }
}

TEST_F(Payload, AFolderReachedAgainThroughALinkTheSystemDoesNotShowEndsTheListing) {
    world().AddFile("C:\\Stage\\bin\\a.dll");
    world().AddFolderLink("C:\\Stage\\bin\\sub\\root", "C:\\Stage", /*reported=*/false);
    const PayloadListing top = ListPayload(ListMode::FoldersOnly, "C:\\Stage");
    ASSERT_TRUE(top.ok());
    const PayloadListing files = ListPayload(ListMode::FilesDeep, "C:\\Stage\\bin", {top.identity});
    EXPECT_EQ(files.unreadableFolder, "C:\\Stage\\bin\\sub\\root");
}

// Only entries taken into the payload count: a loose file beside the updater
// is never copied, whatever its name.
TEST_F(Payload, ANameWindowsWouldTakeForAnotherEndsTheListingOfThePayloadOnly) {
    for (const char* name : {"x.dat.", "x.dat ", "CON", "nul.txt", "a:b", "a/b", "Com7.log"}) {
        SCOPED_TRACE(name);
        SetUp();
        world().AddFile(std::string("C:\\Stage\\") + name);
        world().AddFile("C:\\Stage\\bin\\a.dll");
        world().AddFile(std::string("C:\\Stage\\bin\\sub\\") + name);
        EXPECT_THAT(Paths(ListMode::FoldersOnly, "C:\\Stage"), ElementsAre("C:\\Stage\\bin"));
        EXPECT_EQ(ListPayload(ListMode::FilesDeep, "C:\\Stage\\bin").unreadableFolder, "C:\\Stage\\bin\\sub");
    }
}

}  // namespace
}  // namespace updater
