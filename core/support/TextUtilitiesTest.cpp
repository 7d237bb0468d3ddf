#include <gtest/gtest.h>

#include "core/support/Base64.h"
#include "core/support/UTF8.h"

namespace halvex {
namespace {

TEST(UTF8, ValidatesAndRepairs) {
    struct Case {
        std::string bytes;
        bool valid;
        std::string repaired;
    };
    const Case cases[] = {
        {"plain", true, "plain"},
        {"\xC3\xA9t\xC3\xA9", true, "\xC3\xA9t\xC3\xA9"},
        {"\xF0\x9F\x93\x88", true, "\xF0\x9F\x93\x88"},
        {"a\xFF" "b", false, "a\xEF\xBF\xBD" "b"},
        {"\xC0\xAF", false, "\xEF\xBF\xBD\xEF\xBF\xBD"},          // overlong "/"
        {"\xED\xA0\x80", false, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
        {"\xE2\x82", false, "\xEF\xBF\xBD\xEF\xBF\xBD"},          // truncated
    };
    for (const auto& item : cases) {
        EXPECT_EQ(halvexIsValidUTF8(item.bytes), item.valid) << item.bytes;
        EXPECT_EQ(halvexRepairedUTF8(item.bytes), item.repaired) << item.bytes;
    }
}

TEST(Base64, StandardAlphabetWithPadding) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {"\xff\xfe\xfd", "//79"}};
    for (const auto& [plain, encoded] : cases) {
        EXPECT_EQ(halvexBase64Encode(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size()), encoded);
    }
}

}  // namespace
}  // namespace halvex
