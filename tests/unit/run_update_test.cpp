#include <gtest/gtest.h>

#include "scenario.h"
#include "seam/errors.h"
#include "seam/process.h"
#include "update/run_update.h"

namespace updater {
namespace {

using Preflight = Scenario;
using testing::ElementsAre;

TEST_F(Preflight, UnknownOrMissingSwitchEndsSilentlyWithoutMovingFolders) {
    for (const char* arguments : {"", "-TORVEN 7.1.0.12 P", "TORVEN 7.1.0.12 P", "\"/TORVEN \" 7.1.0.12 P"}) {
        SCOPED_TRACE(arguments);
        world().events.clear();
        CommandLine(arguments);
        Run();
        EXPECT_TRUE(world().events.empty());
    }
}

TEST_F(Preflight, VersionNotInTheTableShowsTheArgumentsUnchanged) {
    CommandLine("/torven 8 \"My Pkg\"");
    Run();
    EXPECT_THAT(Boxes(), ElementsAre("box warning: パラメータを確認[ \"/torven\" \"8\" \"My Pkg\" ]"));
    // This path has no closing sequence: nothing pumped, no folder moved.
    EXPECT_TRUE(world().Events("pump").empty());
    EXPECT_TRUE(world().Events("cd ").empty());

    world().events.clear();
    CommandLine("/VANTRIX");
    Run();
    EXPECT_THAT(Boxes(), ElementsAre("box warning: パラメータを確認[ \"/VANTRIX\" \"\" \"\" ]"));
}

TEST_F(Preflight, NotInstalledNamesTheEditionAndRestoresTheFolder) {
    CommandLine("/Torven 8.1.0.3 Pkg");
    Run();
    EXPECT_THAT(Boxes(), ElementsAre("box warning: 『トーヴェン財務17 消改版』がインストールされていません。\r"));
    EXPECT_THAT(world().Events("cd "), ElementsAre(std::string("cd ") + kDocuments, "cd C:\\Start"));
    EXPECT_EQ(world().currentFolder, "C:\\Start");

    world().events.clear();
    CommandLine("/VANTRIX 4.0.0.0 Pkg");
    Run();
    EXPECT_THAT(Boxes(), ElementsAre("box warning: 『VANTRiX財務12』がインストールされていません。\r"));
}

TEST_F(Preflight, FallsBackToApplicationDataWhenDocumentsCannotBeEntered) {
    world().SetSpecialFolder(SpecialFolder::kDocuments, "");
    world().AddFolder("C:\\Users\\user\\AppData");
    world().SetSpecialFolder(SpecialFolder::kApplicationData, "C:\\Users\\user\\AppData");
    CommandLine("/TORVEN 7.1.0.12 Pkg");
    Run();
    EXPECT_THAT(world().Events("cd "), ElementsAre("cd C:\\Users\\user\\AppData", "cd C:\\Start"));
}

struct GateCase {
    const char* installed;
    const char* argument;
    bool refused;
};

TEST_F(Preflight, NewerInstalledVersionIsRefusedInNumericOrder) {
    const GateCase cases[] = {
        {"8.0.10", "8.0.9", true}, {"8.0.9", "8.0.10", false}, {"7.1.0.12", "7.1.0.12", false},
        {"7.1.0.9", "7.1.0.12", false}, {"7.1.0.13", "7.1.0.12", true}, {"", "7.1.0.12", false},
        {"7.1.0.12.1", "7.1.0.12", true},
    };
    for (const GateCase& gate : cases) {
        SCOPED_TRACE(std::string(gate.installed) + " vs " + gate.argument);
        world().events.clear();
        InstalledProduct(std::string(gate.argument).substr(0, 3) == "8.0" ? "\\SOFTWARE\\ORMIKA\\TORVENZAIMU080 "
                                                                           : kTorven71Key,
                         "D:\\Prod", gate.installed);
        CommandLine(std::string("/TORVEN ") + gate.argument + " Pkg");
        Run();
        const std::vector<std::string> boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        if (gate.refused)
            EXPECT_EQ(boxes[0], std::string("box error: 既に新しいバージョン[") + gate.installed +
                                    "]がインストールされているため実行できません。\r");
        else
            EXPECT_EQ(boxes[0], "box information: インストールは正常に終了しました。");
    }
}

using CopyPhase = Scenario;

TEST_F(CopyPhase, WindowComesUpPaintsOnceAndGoesBeforeTheFinalBoxAsTheLockDoes) {
    InstalledProduct(kTorven71Key, "D:\\Prod\\", "7.1.0.9");
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "13.1.2.80");
    CommandLine("/TORVEN 7.1.0.12 \"Package\"");
    Run();
    std::vector<std::string> steps;
    for (const std::string& event : world().events)
        if (event.rfind("cd ", 0) != 0) steps.push_back(event);
    // The lock is taken before anything is checked or shown, and let go
    // once the copy has ended, not held through the box.
    EXPECT_THAT(steps, ElementsAre("lock taken", "window create",
                                   "window text Packageをコピーしています。しばらくお待ちください。", "window show",
                                   "pump", "copy C:\\Stage\\bin\\a.dll -> D:\\Prod\\bin\\a.dll", "lock released",
                                   "window destroy", "box information: インストールは正常に終了しました。", "pump"));
    EXPECT_EQ(world().currentFolder, "C:\\Start");
}

TEST_F(CopyPhase, EmptyDisplayNameKeepsTheWindowHiddenButStillReports) {
    InstalledProduct(kTorven71Key, "D:\\Prod", "7.1.0.9");
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
    world().FailCopy("D:\\Prod\\bin\\a.dll");
    CommandLine("/TORVEN 7.1.0.12");
    Run();
    EXPECT_TRUE(world().Events("window show").empty());
    EXPECT_TRUE(world().Events("window text").empty());
    EXPECT_THAT(world().Events("window"), ElementsAre("window create", "window destroy"));
    EXPECT_THAT(Boxes(), ElementsAre("box error: ファイルのコピーに失敗しました。"));
}

TEST_F(CopyPhase, AnErrorDestroysTheWindowRunsTheClosingSequenceAndGoesOn) {
    InstalledProduct(kTorven71Key, "D:\\Prod", "7.1.0.9");
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
    world().RaiseOnCopy("D:\\Prod\\bin\\a.dll");
    CommandLine("/TORVEN 7.1.0.12 Pkg");
    EXPECT_THROW(Run(), PlatformError);
    const std::vector<std::string> events = world().events;
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[events.size() - 3], "window destroy");
    EXPECT_EQ(events[events.size() - 2], "pump");
    EXPECT_EQ(events.back(), "cd C:\\Start");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CopyPhase, RegistryValueOfWrongTypeStillRestoresTheFolder) {
    world().SetRegistryValue(kTorven71Key, "RootDir", {fake::kRegDword, std::string(4, '\0')});
    CommandLine("/TORVEN 7.1.0.12 Pkg");
    EXPECT_THROW(Run(), PlatformError);
    EXPECT_EQ(world().currentFolder, "C:\\Start");
    EXPECT_TRUE(world().Events("window").empty());
}

TEST_F(CopyPhase, ARootDirOfBackslashesEndsWithTheNotInstalledWarningAndCopiesNothing) {
    InstalledProduct(kTorven71Key, "\\\\\\", "7.1.0.9");
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
    CommandLine("/TORVEN 7.1.0.12 Pkg");
    Run();
    EXPECT_THAT(Boxes(), ElementsAre("box warning: 『トーヴェン財務15 消改版』がインストールされていません。\r"));
    EXPECT_TRUE(world().Events("copy ").empty());
}

TEST_F(CopyPhase, AnUnlistableFolderEndsWithTheCopyFailedBox) {
    InstalledProduct(kTorven71Key, "D:\\Prod", "7.1.0.9");
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
    world().FailListing("C:\\Stage\\bin");
    CommandLine("/TORVEN 7.1.0.12 Pkg");
    Run();
    EXPECT_THAT(Boxes(), ElementsAre("box error: ファイルのコピーに失敗しました。"));
    EXPECT_TRUE(world().Events("copy ").empty());
}

TEST_F(CopyPhase, VersionReadingThatCannotBeSetUpEndsTheRunWithAnErrorAndNoCopy) {
    InstalledProduct(kTorven71Key, "D:\\Prod", "7.1.0.9");
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
    world().FailVersionReading();
    CommandLine("/TORVEN 7.1.0.12 Pkg");
    try {
        Run();
        FAIL() << "the run must end through the error handler";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.kind(), kLibraryLoadError);
    }
    EXPECT_TRUE(world().Events("copy ").empty());
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(world().currentFolder, "C:\\Start");
}

TEST_F(CopyPhase, NoKnownShellFolderShowsNothingExtraAndWritesNoLog) {
    world().SetSpecialFolder(SpecialFolder::kDocuments, "");
    world().AddFolder("C:\\Start\\ormika");  // the current folder stays put: a relative log path would land here
    InstalledProduct(kTorven71Key, "D:\\Prod", "7.1.0.9");
    world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
    world().AddVersionedFile("D:\\Prod\\bin\\a.dll", "2.0.0.0");
    CommandLine("/TORVEN 7.1.0.12 Pkg");
    Run();
    EXPECT_THAT(Boxes(), ElementsAre("box information: インストールは正常に終了しました。"));
    EXPECT_TRUE(world().Events("save ").empty());
    EXPECT_THAT(world().Events("cd "), ElementsAre("cd C:\\Start"));  // only the restore
}

// ---- the update lock and the quiet run: what a whole run cannot show

struct LockCase {
    const char* options;
    bool lockFails;
    RunOutcome outcome;
    const char* steps;  // the lock's, the window's shows, the copies and the boxes, in order
};

TEST_F(CopyPhase, AQuietCopyShowsNothingAndALockThatCannotBeHadFailsLikeACopy) {
    const LockCase cases[] = {
        {" /REBOOT", false, RunOutcome::kSucceeded,  // a word it does not know is ignored
         "lock taken, window show, copy, lock released, box information"},
        {" /QUIET", false, RunOutcome::kSucceeded, "lock taken, copy, lock released"},
        {"", true, RunOutcome::kCopyFailed, "lock failed, box error"},
    };
    for (const LockCase& lock : cases) {
        SCOPED_TRACE(std::string(lock.steps));
        SetUp();
        InstalledProduct(kTorven71Key, "D:\\Prod", "7.1.0.9");
        world().AddVersionedFile("C:\\Stage\\bin\\a.dll", "1.0.0.0");
        world().updateLockFails = lock.lockFails;
        CommandLine(std::string("/TORVEN 7.1.0.12 Pkg") + lock.options);
        EXPECT_EQ(Run(), lock.outcome);
        std::string steps;
        for (const std::string& event : world().events) {
            if (event.rfind("lock", 0) == 0 || event == "window show" || event.rfind("box ", 0) == 0)
                steps += (steps.empty() ? "" : ", ") + event.substr(0, event.find(':'));
            else if (event.rfind("copy ", 0) == 0)
                steps += ", copy";
        }
        EXPECT_EQ(steps, lock.steps);
        EXPECT_EQ(world().copiesQuiet, lock.outcome == RunOutcome::kSucceeded && std::string(lock.options) == " /QUIET")
            << "the shell's own error dialog";
    }
}

}  // namespace
}  // namespace updater
