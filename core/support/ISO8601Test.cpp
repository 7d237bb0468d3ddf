#include <gtest/gtest.h>

#include "core/support/ISO8601.h"

namespace halvex {
namespace {

TEST(ISO8601String, WritesUTCWithMilliseconds) {
    EXPECT_EQ(halvexISO8601String(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(halvexISO8601String(1'700'000'000.1234), "2023-11-14T22:13:20.123Z");
    EXPECT_EQ(halvexISO8601String(951'782'400.999), "2000-02-29T00:00:00.999Z");
    EXPECT_EQ(halvexISO8601String(-0.5), "1969-12-31T23:59:59.500Z");
}

TEST(InternetDateTime, ParsesTheAcceptedFormsAndRefusesOthers) {
    struct Case {
        const char* text;
        std::optional<double> seconds;
    };
    const Case cases[] = {
        {"2023-11-14T22:13:20Z", 1'700'000'000.0},
        {"2023-11-14T22:13:20.250Z", 1'700'000'000.25},
        {"2023-11-15T00:13:20+02:00", 1'700'000'000.0},
        {"2023-11-14T20:13:20-0200", 1'700'000'000.0},
        {"2000-02-29T00:00:00Z", 951'782'400.0},
        {"2023-11-14 22:13:20Z", std::nullopt},
        {"2023-11-14T22:13:20", std::nullopt},
        {"2023-11-14T22:13:20.Z", std::nullopt},
        {"2023-02-29T00:00:00Z", std::nullopt},
        {"2023-11-14T22:13:20Zjunk", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& item : cases) {
        const auto parsed = halvexParseInternetDateTime(item.text);
        ASSERT_EQ(parsed.has_value(), item.seconds.has_value()) << item.text;
        if (parsed) {
            EXPECT_DOUBLE_EQ(*parsed, *item.seconds) << item.text;
        }
    }
}

}  // namespace
}  // namespace halvex
