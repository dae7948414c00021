// A fixture over the in-memory Windows whose helpers read like the scenario.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fakes/fake_platform.h"
#include "rules/product.h"
#include "rules/texts.h"
#include "seam/process.h"
#include "update/run_update.h"

namespace updater {

class Scenario : public testing::Test {
protected:
    static constexpr char kDocuments[] = "C:\\Users\\user\\Documents";
    static constexpr char kTorven71Key[] = "\\SOFTWARE\\ORMIKA\\TORVENZAIMU071";

    // A fresh in-memory Windows for each case (and for each SetUp within one).
    void SetUp() override {
        world_.reset();
        world_.emplace();
        world().AddFolder(world().currentFolder);
        world().AddFolder(kDocuments);
        world().SetSpecialFolder(SpecialFolder::kDocuments, kDocuments);
        world().AddFile(world().executablePath);
    }

    fake::FakeWindows& world() { return *world_; }

    void InstalledProduct(const std::string& key, const std::string& rootDir, const std::string& version) {
        world().SetRegistryValue(key, kRootDirValue, {fake::kRegSz, rootDir});
        world().SetRegistryValue(key, kVersionValue, {fake::kRegSz, version});
    }
    void CommandLine(const std::string& arguments) { commandLine_ = "\"C:\\Stage\\updater.exe\" " + arguments; }
    // The run, asked for by the command line as the entry reads it.
    RunOutcome Run() { return RunUpdate(ReadUpdateRequest(commandLine_)); }
    void LogFolder(const std::string& name = "ormika") { world().AddFolder(std::string(kDocuments) + "\\" + name); }
    std::string LogText(const std::string& name = "ormika\\TvzCopyErr.Log") {
        const fake::FakeFile* log = world().FindFile(std::string(kDocuments) + "\\" + name);
        return log ? log->content : "<no log>";
    }
    std::vector<std::string> Boxes() { return world().Events("box "); }

private:
    std::optional<fake::FakeWindows> world_;
    std::string commandLine_ = "updater.exe";
};

}  // namespace updater
