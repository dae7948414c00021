#include "scenario.h"
#include "seam/copying.h"
#include "seam/errors.h"
#include "seam/process.h"
#include "update/copy_engine.h"

namespace updater {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

class CopyEngine : public Scenario {
protected:
    const ProductProfile& torven = kProductProfiles[0];
    // An unsigned updater's copy, in a copy session of its own.
    static bool CopyBetween(const std::string& source, const std::string& target, const CopyLog& log,
                            CopyObserver* observer = nullptr) {
        CopySession session = BeginCopies({source, target});
        return CopyPayload(session, ThisUpdateFolder().updaterName, log, PayloadTrust(), observer);
    }
    bool Copy() { return CopyBetween("C:\\Stage", "D:\\Prod", torven); }
    std::vector<std::string> Copies() {
        std::vector<std::string> copies;
        for (const std::string& event : world().Events("copy ")) copies.push_back(event.substr(5));
        return copies;
    }
    // The copy as its observer is told it: one line a decision, with the
    // stamps read for it ("-": not read), or the folder it stopped at.
    struct Told final : CopyObserver {
        std::vector<std::string> lines;
        void FileDecided(const FileDecision& d) override {
            static const char* const outcomes[] = {"copied", "left alone", "failed"};
            lines.push_back(std::string(outcomes[static_cast<int>(d.outcome)]) + " " + d.source + " -> " +
                            d.destination + " old=" + d.installedStamp.value_or("-") +
                            " new=" + d.newStamp.value_or("-"));
        }
        void FolderUnreadable(const std::string& folder) override { lines.push_back("unreadable " + folder); }
    };
    bool Copy(Told& told) { return CopyBetween("C:\\Stage", "D:\\Prod", torven, &told); }
};

TEST_F(CopyEngine, CopiesNewerAndUnversionedLeavesNewerInstalledCopiesAndLogsThem) {
    LogFolder();
    world().AddVersionedFile("C:\\Stage\\bin\\new.dll", "13.1.2.80", "new");
    world().AddVersionedFile("D:\\Prod\\bin\\new.dll", "13.1.2.76", "old");
    world().AddVersionedFile("C:\\Stage\\bin\\old.dll", "13.1.2.76", "new");
    world().AddVersionedFile("D:\\Prod\\bin\\old.dll", "13.1.2.80", "installed");
    world().AddDataFile("C:\\Stage\\bin\\data.txt", "text");
    world().AddVersionedFile("C:\\Stage\\lib\\sub\\fresh.dll", "1.0.0.0", "fresh");

    EXPECT_TRUE(Copy());
    EXPECT_EQ(world().FindFile("D:\\Prod\\bin\\new.dll")->content, "new");
    EXPECT_EQ(world().FindFile("D:\\Prod\\bin\\old.dll")->content, "installed");
    EXPECT_EQ(world().FindFile("D:\\Prod\\bin\\data.txt")->content, "text");
    EXPECT_EQ(world().FindFile("D:\\Prod\\lib\\sub\\fresh.dll")->content, "fresh");
    EXPECT_EQ(LogText(), "New[13.1.2.76] Org[13.1.2.80] FILE[D:\\Prod\\bin\\old.dll]\r\n");
}

TEST_F(CopyEngine, StopsAtTheFirstFailedCopyAndLogsItLast) {
    LogFolder();
    for (const char* name : {"1", "2", "3", "4", "5"})
        world().AddVersionedFile(std::string("C:\\Stage\\bin\\f") + name + ".dll", "2.0.0.0", "new");
    world().AddVersionedFile("D:\\Prod\\bin\\f2.dll", "3.0.0.0", "kept");  // left alone
    world().FailCopy("D:\\Prod\\bin\\f3.dll");
    world().AddFile("C:\\Stage\\zlast\\never.dat");

    Told told;
    EXPECT_FALSE(Copy(told));
    // The new file's stamp is read only where the installed copy's is known,
    // or for a failure line.
    EXPECT_THAT(told.lines,
                ElementsAre("copied C:\\Stage\\bin\\f1.dll -> D:\\Prod\\bin\\f1.dll old=0.0.0.0 new=-",
                            "left alone C:\\Stage\\bin\\f2.dll -> D:\\Prod\\bin\\f2.dll old=3.0.0.0 new=2.0.0.0",
                            "failed C:\\Stage\\bin\\f3.dll -> D:\\Prod\\bin\\f3.dll old=0.0.0.0 new=2.0.0.0"));
    EXPECT_EQ(world().FindFile("D:\\Prod\\bin\\f1.dll")->content, "new");
    EXPECT_EQ(world().FindFile("D:\\Prod\\bin\\f2.dll")->content, "kept");
    EXPECT_EQ(world().FindFile("D:\\Prod\\bin\\f3.dll"), nullptr);
    EXPECT_EQ(world().FindFile("D:\\Prod\\bin\\f4.dll"), nullptr);
    EXPECT_EQ(world().FindFile("D:\\Prod\\bin\\f5.dll"), nullptr);
    EXPECT_FALSE(world().FolderExists("D:\\Prod\\zlast"));
    EXPECT_EQ(Copies().size(), 2u);
    EXPECT_EQ(LogText(),
              "New[2.0.0.0] Org[3.0.0.0] FILE[D:\\Prod\\bin\\f2.dll]\r\n"
              "New[2.0.0.0]  FILE[D:\\Prod\\bin\\f3.dll]\r\n");
}

TEST_F(CopyEngine, NothingToCopyWritesNoLogAndLeavesAnOlderOneAlone) {
    LogFolder();
    world().AddDataFile(std::string(kDocuments) + "\\ormika\\TvzCopyErr.Log", "earlier run\r\n");
    world().AddFile("C:\\Stage\\loose.txt");
    EXPECT_TRUE(Copy());
    EXPECT_THAT(Copies(), IsEmpty());
    EXPECT_EQ(LogText(), "earlier run\r\n");

    world().AddVersionedFile("C:\\Stage\\bin\\same.dll", "1.0.0.0", "again");
    world().AddVersionedFile("D:\\Prod\\bin\\same.dll", "1.0.0.0", "before");
    EXPECT_TRUE(Copy());
    EXPECT_EQ(world().FindFile("D:\\Prod\\bin\\same.dll")->content, "again");
    EXPECT_EQ(LogText(), "earlier run\r\n");
}

TEST_F(CopyEngine, AMissingLogFolderDropsTheReportAndIsNeverCreated) {
    world().AddVersionedFile("C:\\Stage\\bin\\old.dll", "1.0.0.0");
    world().AddVersionedFile("D:\\Prod\\bin\\old.dll", "2.0.0.0");
    EXPECT_TRUE(Copy());
    EXPECT_FALSE(world().FolderExists(std::string(kDocuments) + "\\ormika"));
    EXPECT_THAT(world().Events("save "), IsEmpty());
}

TEST_F(CopyEngine, TheSecondProfileLogsUnderItsOwnNames) {
    LogFolder("vantrixzai");
    world().AddVersionedFile("C:\\Stage\\bin\\old.dll", "1.0.0.0");
    world().AddVersionedFile("D:\\Prod\\bin\\old.dll", "2.0.0.0");
    EXPECT_TRUE(CopyBetween("C:\\Stage", "D:\\Prod", kProductProfiles[1]));
    EXPECT_EQ(LogText("vantrixzai\\VXzCopyErr.Log"), "New[1.0.0.0] Org[2.0.0.0] FILE[D:\\Prod\\bin\\old.dll]\r\n");
}

TEST_F(CopyEngine, AnErrorMidRunStillSavesWhatWasReported) {
    LogFolder();
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
    world().AddVersionedFile("D:\\Prod\\bin\\a.dll", "2.0.0.0");
    world().AddVersionedFile("C:\\Stage\\bin\\b.dll", "1.0.0.0");
    world().RaiseOnCopy("D:\\Prod\\bin\\b.dll");
    EXPECT_THROW(Copy(), PlatformError);
    EXPECT_EQ(LogText(), "New[1.0.0.0] Org[2.0.0.0] FILE[D:\\Prod\\bin\\a.dll]\r\n");
}

TEST_F(CopyEngine, ALogThatCannotBeWrittenRaises) {
    LogFolder();
    world().FailSaveWithShortWrite();
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
    world().AddVersionedFile("D:\\Prod\\bin\\a.dll", "2.0.0.0");
    try {
        Copy();
        FAIL() << "a short write must raise";
    } catch (const PlatformError& error) {
        EXPECT_STREQ(error.what(), "ストリームへの書き込みエラー");
    }
}

TEST_F(CopyEngine, ADriveRootSourceMapsBelowTheTargetRoot) {
    world().executablePath = "E:\\updater.exe";
    world().AddFile("E:\\updater.exe");
    world().AddVersionedFile("E:\\bin\\a.dll", "1.0.0.0", "payload");
    EXPECT_TRUE(CopyBetween("E:\\", "D:\\Prod", torven));
    ASSERT_NE(world().FindFile("D:\\Prod\\bin\\a.dll"), nullptr);
    EXPECT_EQ(world().FindFile("D:\\Prod\\bin\\a.dll")->content, "payload");
}

TEST_F(CopyEngine, AKnownNewerStampWithALeadingDotIsLeftAloneAndLoggedAsStored) {
    LogFolder();
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "13.1.2.76", "new");
    world().AddVersionedFile("D:\\Prod\\bin\\a.dll", ".13.1.2.80", "installed");
    EXPECT_TRUE(Copy());
    EXPECT_EQ(world().FindFile("D:\\Prod\\bin\\a.dll")->content, "installed");
    EXPECT_EQ(LogText(), "New[13.1.2.76] Org[.13.1.2.80] FILE[D:\\Prod\\bin\\a.dll]\r\n");
}

TEST_F(CopyEngine, AStampHoldingLineBreaksStaysOneLogLine) {
    LogFolder();
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0\n0.0", "new");
    world().AddVersionedFile("D:\\Prod\\bin\\a.dll", "2.0\r\n0.0", "installed");
    world().AddVersionedFile("C:\\Stage\\bin\\b.dll", "1\r.0.0.0");
    world().FailCopy("D:\\Prod\\bin\\b.dll");
    EXPECT_FALSE(Copy());
    EXPECT_EQ(LogText(),
              "New[1.0 0.0] Org[2.0  0.0] FILE[D:\\Prod\\bin\\a.dll]\r\n"
              "New[1 .0.0.0]  FILE[D:\\Prod\\bin\\b.dll]\r\n");
}

TEST_F(CopyEngine, AFolderThatCannotBeListedStopsTheRunAndIsLoggedAsAFailure) {
    LogFolder();
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0", "new");
    world().AddVersionedFile("C:\\Stage\\lib\\before.dll", "1.0.0.0");
    world().AddVersionedFile("C:\\Stage\\lib\\locked\\b.dll", "1.0.0.0");
    world().AddVersionedFile("C:\\Stage\\lib\\zafter.dll", "1.0.0.0");
    world().AddVersionedFile("C:\\Stage\\zlast\\c.dll", "1.0.0.0");
    world().FailListing("C:\\Stage\\lib\\locked");
    Told told;
    EXPECT_FALSE(Copy(told));
    // The folders before it are copied; nothing of its top folder or after it is.
    EXPECT_THAT(Copies(), ElementsAre("C:\\Stage\\bin\\a.dll -> D:\\Prod\\bin\\a.dll"));
    EXPECT_THAT(told.lines, ElementsAre("copied C:\\Stage\\bin\\a.dll -> D:\\Prod\\bin\\a.dll old=0.0.0.0 new=-",
                                        "unreadable C:\\Stage\\lib\\locked"));
    EXPECT_EQ(LogText(), "New[0.0.0.0]  FILE[C:\\Stage\\lib\\locked\\]\r\n");
}

TEST_F(CopyEngine, ASourceRootThatCannotBeListedCopiesNothing) {
    LogFolder();
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
    world().FailListing("C:\\Stage");
    EXPECT_FALSE(Copy());
    EXPECT_THAT(Copies(), IsEmpty());
    EXPECT_EQ(LogText(), "New[0.0.0.0]  FILE[C:\\Stage\\]\r\n");
}

TEST_F(CopyEngine, ALinkInThePayloadStopsTheRunBeforeItsFolderIsCopiedAndIsLogged) {
    LogFolder();
    world().AddVersionedFile("C:\\Shared\\common.dll", "2.0.0.0", "shared");
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
    world().AddFolderLink("C:\\Stage\\bin\\common", "C:\\Shared");
    EXPECT_FALSE(Copy());
    EXPECT_THAT(Copies(), IsEmpty());
    EXPECT_EQ(LogText(), "New[0.0.0.0]  FILE[C:\\Stage\\bin\\]\r\n");
}

// What the names promise is checked against what Windows makes of the paths
// just before each copy: a path that leaves its root fails like a copy.
TEST_F(CopyEngine, APathThatResolvesOutsideItsRootIsAFailedCopy) {
    LogFolder();
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
    world().AddVersionedFile("C:\\Stage\\bin\\b.dll", "1.0.0.0");
    world().AddVersionedFile("C:\\Stage\\bin\\c.dll", "1.0.0.0");
    world().ResolveFullPathAs("D:\\Prod\\bin\\b.dll", "C:\\Windows\\b.dll");
    world().ResolveFullPathAs("C:\\Stage\\bin\\c.dll", "C:\\Users\\c.dll");
    EXPECT_FALSE(Copy());
    EXPECT_THAT(Copies(), ElementsAre("C:\\Stage\\bin\\a.dll -> D:\\Prod\\bin\\a.dll"));
    EXPECT_EQ(LogText(), "New[0.0.0.0]  FILE[D:\\Prod\\bin\\b.dll]\r\n");

    SetUp();
    LogFolder();
    world().AddVersionedFile("C:\\Stage\\bin\\c.dll", "1.0.0.0");
    world().ResolveFullPathAs("C:\\Stage\\bin\\c.dll", "C:\\Users\\c.dll");
    EXPECT_FALSE(Copy());
    EXPECT_THAT(Copies(), IsEmpty());
}

TEST_F(CopyEngine, VersionReadingThatCannotBeSetUpRaisesBeforeTheFirstCopy) {
    LogFolder();
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");  // nothing installed: no version read needed
    world().AddVersionedFile("C:\\Stage\\bin\\b.dll", "1.0.0.0");
    world().AddVersionedFile("D:\\Prod\\bin\\b.dll", "2.0.0.0");
    world().FailVersionReading();
    EXPECT_THROW(Copy(), PlatformError);
    EXPECT_THAT(Copies(), IsEmpty());
    EXPECT_EQ(world().FindFile("D:\\Prod\\bin\\a.dll"), nullptr);
}

TEST_F(CopyEngine, NoKnownDocumentsFolderMeansNoLog) {
    world().SetSpecialFolder(SpecialFolder::kDocuments, "");
    world().AddFolder("C:\\ormika");  // where a log path from the drive's root would point
    world().AddFolder("\\ormika");
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
    world().AddVersionedFile("D:\\Prod\\bin\\a.dll", "2.0.0.0");
    EXPECT_TRUE(Copy());
    EXPECT_THAT(world().Events("save "), IsEmpty());
}

}  // namespace
}  // namespace updater
