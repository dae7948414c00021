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

TEST_F(Payload, ALinkBackToTheFolderItselfOrAnAncestorIsNotEntered) {
    world().AddFile("C:\\Stage\\bin\\a.dll");
    world().AddFile("C:\\Stage\\bin\\sub\\b.dll");
    world().AddFolderLink("C:\\Stage\\bin\\sub\\up", "C:\\Stage\\bin");
    world().AddFolderLink("C:\\Stage\\bin\\self", "C:\\Stage\\bin");
    EXPECT_THAT(Paths(ListMode::FilesDeep, "C:\\Stage\\bin"),
                ElementsAre("C:\\Stage\\bin\\a.dll", "C:\\Stage\\bin\\sub\\b.dll"));
}

TEST_F(Payload, TwoLinksLeadingToEachOtherAreFollowedUntilTheCircleCloses) {
    world().AddFile("C:\\Stage\\bin\\x\\1.dll");
    world().AddFile("C:\\Stage\\bin\\y\\2.dll");
    world().AddFolderLink("C:\\Stage\\bin\\x\\toY", "C:\\Stage\\bin\\y");
    world().AddFolderLink("C:\\Stage\\bin\\y\\toX", "C:\\Stage\\bin\\x");
    // From x: x's file, then y through the link and y's file; y's link back to x closes the circle.
    EXPECT_THAT(Paths(ListMode::FilesDeep, "C:\\Stage\\bin\\x"),
                ElementsAre("C:\\Stage\\bin\\x\\1.dll", "C:\\Stage\\bin\\x\\toY\\2.dll"));
}

TEST_F(Payload, ALinkToAFolderOutsideThePathIsListedLikeAnyFolder) {
    world().AddFile("C:\\Shared\\common.dll");
    world().AddFile("C:\\Stage\\bin\\a.dll");
    world().AddFolderLink("C:\\Stage\\bin\\shared", "C:\\Shared");
    EXPECT_THAT(Paths(ListMode::FilesDeep, "C:\\Stage\\bin"),
                ElementsAre("C:\\Stage\\bin\\a.dll", "C:\\Stage\\bin\\shared\\common.dll"));
}

TEST_F(Payload, FoldersAboveTheListedOneCountAsOnThePath) {
    world().AddFile("C:\\Stage\\readme.txt");
    world().AddFile("C:\\Stage\\bin\\a.dll");
    world().AddFolderLink("C:\\Stage\\bin\\root", "C:\\Stage");
    const PayloadListing top = ListPayload(ListMode::FoldersOnly, "C:\\Stage");
    ASSERT_TRUE(top.ok());
    const PayloadListing files = ListPayload(ListMode::FilesDeep, "C:\\Stage\\bin", {top.identity});
    EXPECT_TRUE(files.ok());
    EXPECT_THAT(files.paths, ElementsAre("C:\\Stage\\bin\\a.dll"));
}

}  // namespace
}  // namespace updater
