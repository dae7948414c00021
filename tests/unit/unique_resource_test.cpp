#include "rules/unique_resource.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>
#include <vector>

namespace updater {
namespace {

// Every value an owner released, in order.
std::vector<int>& Closed() {
    static std::vector<int> closed;
    return closed;
}

// A handle with two kinds of no value, as a Windows file handle has: 0 and
// every negative number.
struct TwoInvalidsTraits {
    using Type = int;
    static int Invalid() { return 0; }
    static bool IsValid(int value) { return value > 0; }
    static void Close(int value) { Closed().push_back(value); }
};
using Owner = UniqueResource<TwoInvalidsTraits>;

// Without IsValid, every value but Invalid() is owned, 0 included.
struct MinusOneTraits {
    using Type = int;
    static int Invalid() { return -1; }
    static void Close(int value) { Closed().push_back(value); }
};

static_assert(!std::is_copy_constructible_v<Owner> && !std::is_copy_assignable_v<Owner>);
static_assert(std::is_nothrow_move_constructible_v<Owner> && std::is_nothrow_move_assignable_v<Owner>);

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
    EXPECT_FALSE(Owner());
    EXPECT_TRUE(Closed().empty());
}

TEST_F(UniqueResourceTest, AnOwnedValueIsClosedOnceWhenItsOwnerGoes) {
    {
        const Owner owner(7);
        EXPECT_TRUE(owner);
        EXPECT_EQ(owner.get(), 7);
        EXPECT_TRUE(Closed().empty());
    }
    EXPECT_EQ(Closed(), std::vector<int>{7});
}

TEST_F(UniqueResourceTest, ReleaseHandsTheValueOverUnclosed) {
    {
        Owner owner(7);
        EXPECT_EQ(owner.release(), 7);
        EXPECT_FALSE(owner);
        EXPECT_EQ(owner.get(), 0);
    }
    EXPECT_TRUE(Closed().empty());
}

TEST_F(UniqueResourceTest, ResetClosesTheOldValueAndKeepsTheNewOne) {
    {
        Owner owner(3);
        owner.reset(4);
        EXPECT_EQ(Closed(), std::vector<int>{3});
        EXPECT_EQ(owner.get(), 4);
        owner.reset(-1);  // an invalid value: empty after
        EXPECT_EQ(Closed(), (std::vector<int>{3, 4}));
        EXPECT_FALSE(owner);
        owner.reset();
    }
    EXPECT_EQ(Closed(), (std::vector<int>{3, 4}));
}

TEST_F(UniqueResourceTest, AMoveCarriesTheValueAndItIsClosedOnlyOnce) {
    {
        Owner first(3);
        Owner second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), 3);
        Owner third(6);
        third = std::move(second);  // closes what third held
        EXPECT_EQ(Closed(), std::vector<int>{6});
        EXPECT_FALSE(second);
        EXPECT_EQ(third.get(), 3);
    }
    EXPECT_EQ(Closed(), (std::vector<int>{6, 3}));
}

TEST_F(UniqueResourceTest, WithoutIsValidOnlyInvalidIsEmpty) {
    {
        const UniqueResource<MinusOneTraits> zero(0);
        const UniqueResource<MinusOneTraits> none(-1);
        EXPECT_TRUE(zero);
        EXPECT_FALSE(none);
    }
    EXPECT_EQ(Closed(), std::vector<int>{0});
}

}  // namespace
}  // namespace updater
