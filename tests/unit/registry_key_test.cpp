#include <gtest/gtest.h>

#include "rules/registry_key.h"

namespace updater {
namespace {

TEST(RegistryKeyName, DropsOneLeadingBackslashOnly) {
    EXPECT_EQ(RegistryKeyName("\\SOFTWARE\\ORMIKA"), "SOFTWARE\\ORMIKA");
    EXPECT_EQ(RegistryKeyName("SOFTWARE\\ORMIKA"), "SOFTWARE\\ORMIKA");
    EXPECT_EQ(RegistryKeyName("\\\\SOFTWARE"), "\\SOFTWARE");
    EXPECT_EQ(RegistryKeyName("SOFTWARE\\"), "SOFTWARE\\");  // a trailing one stays
    EXPECT_EQ(RegistryKeyName("\\"), "");
    EXPECT_EQ(RegistryKeyName(""), "");
}

}  // namespace
}  // namespace updater
