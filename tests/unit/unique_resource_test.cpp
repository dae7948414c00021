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

TEST_F(UniqueResourceTest, EachOwnedValueIsClosedOnceWhateverHandsItOn) {
    {
        Owner owner(3);
        EXPECT_EQ(owner.release(), 3);
        owner.reset(4);
        owner.reset(5);  // closes 4
        Owner moved(std::move(owner));
        Owner target(6);
        target = std::move(moved);  // closes 6
        EXPECT_FALSE(owner);
        EXPECT_FALSE(moved);
        EXPECT_EQ(target.get(), 5);
        EXPECT_EQ(Closed(), (std::vector<int>{4, 6}));
    }
    EXPECT_EQ(Closed(), (std::vector<int>{4, 6, 5}));
}

}  // namespace
}  // namespace updater
