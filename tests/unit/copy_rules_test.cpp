#include <gtest/gtest.h>

#include <string>

#include "rules/copy_rules.h"

namespace updater {
namespace {

TEST(DestinationPath, JoinsTheRootsWithExactlyOneSeparator) {
    EXPECT_EQ(DestinationPath("C:\\Stage\\bin\\a.dll", "C:\\Stage", "D:\\Prod"), "D:\\Prod\\bin\\a.dll");
    EXPECT_EQ(DestinationPath("E:\\bin\\a.dll", "E:\\", "D:\\Prod"), "D:\\Prod\\bin\\a.dll");
    EXPECT_EQ(DestinationPath("C:\\Stage\\bin\\a.dll", "C:\\Stage", "D:"), "D:\\bin\\a.dll");
    EXPECT_EQ(DestinationPath("E:\\bin\\a.dll", "E:\\", "D:"), "D:\\bin\\a.dll");
    // A target ending in "ソ" (trail byte 0x5C) is no separator: one is still added.
    EXPECT_EQ(DestinationPath("C:\\S\\a", "C:\\S", "D:\\\x83\x5C"), "D:\\\x83\x5C\\a");
}

TEST(DestinationPath, KeepsExactlyOneSeparatorWhateverTheRootsEndIn) {
    EXPECT_EQ(DestinationPath("C:\\Stage\\bin\\a.dll", "C:\\Stage", "D:\\Prod\\\\"), "D:\\Prod\\bin\\a.dll");
    EXPECT_EQ(DestinationPath("C:\\Stage\\\\bin\\a.dll", "C:\\Stage", "D:\\Prod"), "D:\\Prod\\bin\\a.dll");
    EXPECT_EQ(DestinationPath("E:\\bin\\a.dll", "E:\\", "D:\\Prod\\\\\\"), "D:\\Prod\\bin\\a.dll");
    // Trail byte 0x5C before the separators: only the real separators go.
    EXPECT_EQ(DestinationPath("C:\\S\\a", "C:\\S", "D:\\\x83\x5C\\\\"), "D:\\\x83\x5C\\a");
}

TEST(DestinationPath, ReplacesEveryOccurrenceOfTheSourceRoot) {
    EXPECT_EQ(DestinationPath("C:\\S\\x\\C:\\S\\y", "C:\\S", "D:\\T"), "D:\\T\\x\\D:\\T\\y");
}

struct DecisionRow {
    const char* newStamp;
    const char* oldStamp;
    bool copied;
};

TEST(StampForLog, ControlCharactersBecomeBlanksDoubleByteCharactersStay) {
    EXPECT_EQ(StampForLog("2.0\r\n0.0"), "2.0  0.0");
    EXPECT_EQ(StampForLog(std::string("1.\t2.\x7F.3\0", 9)), "1. 2. .3 ");
    EXPECT_EQ(StampForLog("\x83\x5C.1.2.3"), "\x83\x5C.1.2.3");
}

TEST(ShouldCopy, DecisionTable) {
    const DecisionRow rows[] = {
        {"13.1.2.76", "13.1.2.80", false},   // installed copy newer
        {"13.1.2.80", "13.1.2.76", true},    // new file newer
        {"13.1.2.76", "13.1.2.76", true},    // equal: copied again
        {"13.10.0.1", "13.9.0.1", true},     // numeric, not text order
        {"13.9.0.1", "13.10.0.1", false},
        {"13.0.0.0", "9.0.0.0", true},
        {"1.0.0.123456", "1.0.0.99999", true},
        {"0.0.0.0", "13.1.2.80", true},      // unknown new stamp
        {"13.1.2.76", "0.0.0.0", true},      // unknown installed stamp
        {"1.2.3.-1", "1.2.3.0", false},      // signed numbers
        {"13.1.2.76", ".13.1.2.80", false},  // keyed by the items the reader accepted
        {"13.1.2.81", "13..1.2.80", true},
    };
    for (const DecisionRow& row : rows)
        EXPECT_EQ(ShouldCopy(row.newStamp, row.oldStamp), row.copied) << row.newStamp << " vs " << row.oldStamp;
}

}  // namespace
}  // namespace updater
