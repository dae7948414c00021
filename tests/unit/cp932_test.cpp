#include <gtest/gtest.h>

#include "rules/cp932.h"

namespace updater {
namespace {

TEST(CaseChanges, LeaveDoubleByteCharactersAlone) {
    // "ａ" (0x82 0x81) has a trail byte that is no letter; "ア" 0x83 0x41 has trail 'A'.
    EXPECT_EQ(UpperCaseAscii("/torven \x83\x41\x83" "a"), "/TORVEN \x83\x41\x83" "a");
    EXPECT_EQ(LowerCaseAscii("ABC\x83\x41"), "abc\x83\x41");
}

}  // namespace
}  // namespace updater
