#include <gtest/gtest.h>

#include <stdexcept>

#include "win32/callback_guard.h"

namespace updater::win32 {
namespace {

class CallbackGuard : public testing::Test {
protected:
    void SetUp() override { PendingCallbackError() = nullptr; }
    void TearDown() override { PendingCallbackError() = nullptr; }
};

TEST_F(CallbackGuard, ABodyThatReturnsPassesItsResultAndKeepsNothing) {
    EXPECT_EQ(GuardCallback<long>(0, [] { return 42L; }), 42);
    EXPECT_FALSE(PendingCallbackError());
    EXPECT_NO_THROW(RethrowCallbackError());
}

TEST_F(CallbackGuard, AnyThrownValueGivesTheFallbackAndIsRethrownOnceLater) {
    EXPECT_EQ(GuardCallback<long>(-1, []() -> long { throw std::runtime_error("paint failed"); }), -1);
    try {
        RethrowCallbackError();
        FAIL() << "the kept error must be rethrown";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "paint failed");
    }
    EXPECT_NO_THROW(RethrowCallbackError());  // once only

    // Not only standard exceptions: whatever is thrown stays on this side.
    EXPECT_EQ(GuardCallback(7, []() -> int { throw 3; }), 7);
    EXPECT_THROW(RethrowCallbackError(), int);
}

TEST_F(CallbackGuard, TheFirstErrorIsKeptWhenSeveralCallbacksFail) {
    GuardCallback(0, []() -> int { throw std::runtime_error("first"); });
    GuardCallback(0, []() -> int { throw std::logic_error("second"); });
    try {
        RethrowCallbackError();
        FAIL() << "the kept error must be rethrown";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "first");
    }
}

}  // namespace
}  // namespace updater::win32
