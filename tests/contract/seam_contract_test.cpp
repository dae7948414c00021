// The seam's contract: what the update logic relies on, one case a promise.
// Compiled against each implementation of the seam; see seam_contract.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contract/seam_contract.h"
#include "rules/path.h"
#include "seam/copying.h"
#include "seam/files.h"

namespace updater::contract {
namespace {

class SeamContract : public ::testing::Test {
protected:
    void SetUp() override { world_ = NewContractWorld(); }
    ContractWorld& world() { return *world_; }
    std::string Product(const std::string& relative) { return world().ProductRoot() + "\\" + relative; }
    std::string Update(const std::string& relative) { return world().UpdateRoot() + "\\" + relative; }

private:
    std::unique_ptr<ContractWorld> world_;
};

std::vector<std::string> SortedNames(const FolderListing& listing) {
    std::vector<std::string> names;
    for (const FolderEntry& entry : listing.entries) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

const FolderEntry* EntryNamed(const FolderListing& listing, const std::string& name) {
    for (const FolderEntry& entry : listing.entries)
        if (entry.name == name) return &entry;
    return nullptr;
}

TEST_F(SeamContract, AnEntryIsAFileAFolderOrMissingAndOnlyAFileExistsAsOne) {
    world().MakeFile(Product("a.txt"), "a");
    world().MakeFile(Product("empty.txt"), "");
    world().MakeFolder(Product("sub"));
    EXPECT_EQ(GetEntryKind(Product("a.txt")), EntryKind::kFile);
    EXPECT_EQ(GetEntryKind(Product("empty.txt")), EntryKind::kFile);
    EXPECT_EQ(GetEntryKind(Product("sub")), EntryKind::kFolder);
    EXPECT_EQ(GetEntryKind(Product("sub\\")), EntryKind::kFolder) << "a trailing separator names the folder";
    EXPECT_EQ(GetEntryKind(Product("none")), EntryKind::kMissing);
    EXPECT_EQ(GetEntryKind(Product("none\\deeper.txt")), EntryKind::kMissing);
    EXPECT_TRUE(FileExists(Product("a.txt")));
    EXPECT_TRUE(FileExists(Product("empty.txt"))) << "an empty file is a file";
    EXPECT_FALSE(FileExists(Product("sub")));
    EXPECT_FALSE(FileExists(Product("none")));
}

TEST_F(SeamContract, AListingNamesEachEntryOnceAndAMissingFolderIsNoEmptyOne) {
    world().MakeFile(Product("b.dat"), "b");
    world().MakeFile(Product("a.txt"), "a");
    world().MakeFolder(Product("sub"));
    world().MakeFile(Product("sub\\inner.txt"), "inner");
    world().MakeFolder(Product("empty"));

    const FolderListing listing = ListFolder(world().ProductRoot());
    ASSERT_TRUE(listing.ok);
    // In whatever order the system gives them: the logic sorts nothing.
    EXPECT_EQ(SortedNames(listing), (std::vector<std::string>{"a.txt", "b.dat", "empty", "sub"}));
    for (const FolderEntry& entry : listing.entries) {
        EXPECT_EQ(entry.folder, entry.name == "sub" || entry.name == "empty") << entry.name;
        EXPECT_TRUE(entry.exactName) << entry.name;
        EXPECT_FALSE(entry.link) << entry.name;
    }
    const FolderListing again = ListFolder(world().ProductRoot() + "\\");
    EXPECT_TRUE(again.ok);
    EXPECT_EQ(SortedNames(again), SortedNames(listing)) << "a trailing separator lists the same folder";
    EXPECT_TRUE(again.identity == listing.identity);
    EXPECT_FALSE(ListFolder(Product("sub")).identity == listing.identity);

    const FolderListing empty = ListFolder(Product("empty"));
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.entries.empty());
    EXPECT_FALSE(ListFolder(Product("none")).ok);
}

TEST_F(SeamContract, AFolderLinkIsListedAsALinkAndLeadsToItsTargetsIdentity) {
    const std::string link = world().FolderLink();
    const std::string target = world().FolderLinkTarget();
    const FolderListing around = ListFolder(FolderOfPath(link));
    ASSERT_TRUE(around.ok);
    const FolderEntry* entry = EntryNamed(around, FileNameOfPath(link));
    ASSERT_NE(entry, nullptr) << link;
    EXPECT_TRUE(entry->link);
    const FolderListing through = ListFolder(link);
    const FolderListing direct = ListFolder(target);
    ASSERT_TRUE(through.ok && direct.ok);
    EXPECT_TRUE(through.identity == direct.identity);
    EXPECT_EQ(SortedNames(through), SortedNames(direct));
    EXPECT_EQ(direct.entries.size(), 1u);
}

TEST_F(SeamContract, FullPathNameTakesDotStepsWithoutLookingAtTheDisk) {
    const std::string root = world().ProductRoot();
    EXPECT_EQ(FullPathName(root + "\\x\\..\\y\\.\\z.txt"), std::optional<std::string>(root + "\\y\\z.txt"));
    EXPECT_EQ(FullPathName(root), std::optional<std::string>(root));
}

TEST_F(SeamContract, ACopyArrivesInFoldersItMakesAndAFailedOneLeavesNothing) {
    world().MakeFolder(Update("bin"));
    world().MakeFile(Update("bin\\a.dll"), "new bytes");
    world().MakeFile(Product("old.dll"), "old bytes, longer than the new");
    CopySession session = BeginCopies({world().UpdateRoot(), world().ProductRoot()}, true);
    EXPECT_EQ(session.roots().source, world().UpdateRoot());
    EXPECT_EQ(session.roots().target, world().ProductRoot());

    ASSERT_TRUE(CopyFileOver(session, Update("bin\\a.dll"), Product("bin\\deeper\\a.dll")));
    EXPECT_TRUE(FileExists(Product("bin\\deeper\\a.dll")));
    ASSERT_TRUE(CopyFileOver(session, Update("bin\\a.dll"), Product("old.dll")));
    EXPECT_TRUE(FileExists(Product("old.dll")));

    EXPECT_FALSE(CopyFileOver(session, Update("bin\\none.dll"), Product("bin\\none.dll")));
    EXPECT_EQ(GetEntryKind(Product("bin\\none.dll")), EntryKind::kMissing);
}

}  // namespace
}  // namespace updater::contract
