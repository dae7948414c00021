// The JSON strings of check --json and the manifest. The UTF-8 is written as
// a u8 literal, which stays UTF-8 whatever the compiler's execution
// character set.
#include <gtest/gtest.h>

#include <string>

#include "kit/json.h"

namespace updater::kit {
namespace {

TEST(Json, QuotesEscapesAndReplacesWhatIsNotUtf8) {
    EXPECT_EQ(JsonQuote("a\"b\\c/d"), "\"a\\\"b\\\\c/d\"");
    EXPECT_EQ(JsonQuote("\n\r\t\x01\x7F"), "\"\\n\\r\\t\\u0001\\u007f\"");
    EXPECT_EQ(JsonQuote(u8"財務" "\xF0\x9F\x98\x80"), std::string("\"") + u8"財務" + "\xF0\x9F\x98\x80\"");
    EXPECT_EQ(JsonQuote("x\xFFy\xE8\xB2"), "\"x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonQuote("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");  // a surrogate
}

}  // namespace
}  // namespace updater::kit
