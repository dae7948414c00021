#include "scenario.h"
#include "update/version_stamp.h"

namespace updater {
namespace {

using VersionStamps = Scenario;

TEST_F(VersionStamps, KeepsTheStoredTextOfAFourItemJapaneseFileVersion) {
    world().AddVersionedFile("C:\\P\\a.dll", "13. 1. 2. 76");
    const TVersionRec record = ReadVersionStamp("C:\\P\\a.dll");
    EXPECT_EQ(record.text, "13. 1. 2. 76");
    EXPECT_EQ(record.numbers, (std::array<std::int32_t, 4>{13, 1, 2, 76}));

    world().AddVersionedFile("C:\\P\\b.dll", "1..2.3.4");
    EXPECT_EQ(ReadVersionStamp("C:\\P\\b.dll").text, "1..2.3.4");
    EXPECT_EQ(ReadVersionStamp("C:\\P\\b.dll").numbers, (std::array<std::int32_t, 4>{1, 2, 3, 4}));
}

TEST_F(VersionStamps, TheKeyOfAStoredTextIsTheRecordTheReaderFilledIn) {
    for (const char* text : {".13.1.2.80", "1..2.3.4", "'1.2'.3.4.5", "13. 1. 2. 76", "1\r\n2.3.4", "$10.x1F.-1.7"}) {
        world().AddVersionedFile("C:\\P\\a.dll", text);
        const TVersionRec record = ReadVersionStamp("C:\\P\\a.dll");
        EXPECT_EQ(record.text, text);
        EXPECT_EQ(MakeVersionKey(record.text).numbers, record.numbers) << '"' << text << '"';
    }
}

TEST_F(VersionStamps, AnythingUnusableGivesTheUnknownStamp) {
    world().AddVersionedFile("C:\\P\\three.dll", "1.2.3");
    world().AddVersionedFile("C:\\P\\five.dll", "1.2.3.4.5");
    world().AddVersionedFile("C:\\P\\commas.dll", "13, 1, 2, 76");
    world().AddFile("C:\\P\\plain.txt");
    world().AddFolder("C:\\P\\folder.dll");
    world().AddFile("C:\\P\\ancient.dll", fake::FakeFile{"", "1.2.3.4", 1979});
    for (const char* name : {"three.dll", "five.dll", "commas.dll", "plain.txt", "folder.dll",
                             "ancient.dll", "missing.dll"}) {
        EXPECT_EQ(ReadVersionStamp(std::string("C:\\P\\") + name).text, kUnknownStamp) << name;
    }
}

}  // namespace
}  // namespace updater
