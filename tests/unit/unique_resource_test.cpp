#include "rules/unique_resource.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace updater {
namespace {

// Every value an owner released, in order.
std::vector<int>& Closed() {
    static std::vector<int> closed;
    return closed;
}

// Two kinds of no value, as a Windows file handle has: 0 and any negative.
struct TwoInvalidsTraits {
    using Type = int;
    static int Invalid() { return 0; }
    static bool IsValid(int value) { return value > 0; }
    static void Close(int value) { Closed().push_back(value); }
};
using Owner = UniqueResource<TwoInvalidsTraits>;

class UniqueResourceTest : public testing::Test {
protected:
    void SetUp() override { Closed().clear(); }
};

TEST_F(UniqueResourceTest, EveryInvalidValueGivesAnEmptyOwnerThatClosesNothing) {
    for (const int value : {0, -1, -42}) {
        const Owner owner(value);
        EXPECT_FALSE(owner) << value;
        EXPECT_EQ(owner.get(), 0) << "an empty owner holds Invalid(), not " << value;
    }
    EXPECT_TRUE(Closed().empty());
}

TEST_F(UniqueResourceTest, ReleaseAndResetHandOverAndCloseTheOldValueOnce) {
    {
        Owner owner(3);
        EXPECT_EQ(owner.release(), 3);
        EXPECT_FALSE(owner);
        owner.reset(4);
        owner.reset(5);
        EXPECT_EQ(Closed(), std::vector<int>{4});
        owner.reset(-1);  // empty after
        EXPECT_FALSE(owner);
    }
    EXPECT_EQ(Closed(), (std::vector<int>{4, 5}));
}

TEST_F(UniqueResourceTest, AMoveCarriesTheValueWhichIsClosedOnlyOnce) {
    {
        Owner first(3);
        Owner second(std::move(first));
        Owner third(6);
        third = std::move(second);  // closes what third held
        EXPECT_FALSE(first);
        EXPECT_FALSE(second);
        EXPECT_EQ(third.get(), 3);
        EXPECT_EQ(Closed(), std::vector<int>{6});
    }
    EXPECT_EQ(Closed(), (std::vector<int>{6, 3}));
}

}  // namespace
}  // namespace updater
