#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/support/JSONEncoding.h"

namespace halvex {
namespace {

TEST(CompactEncoding, SortsKeysKeepsSlashesAndWritesRawUTF8) {
    const nlohmann::json value{{"zeta", 1}, {"path", "/tmp/a b/c.mp4"}, {"alpha", {{"b", true}, {"a", nullptr}}},
                               {"name", "Zürich \u20ac \"q\"\n"}};
    EXPECT_EQ(halvexEncodeCompact(value),
              R"({"alpha":{"a":null,"b":true},"name":"Zürich € \"q\"\n","path":"/tmp/a b/c.mp4","zeta":1})");
}

TEST(CompactEncoding, NumbersReadBackExactly) {
    const double samples[] = {0.1, 1.0 / 3.0, 1e-300, 1.7976931348623157e308, -2.5e-5, 1'700'000'000.123456};
    for (const double sample : samples) {
        const auto text = halvexEncodeCompact(nlohmann::json(sample));
        EXPECT_EQ(nlohmann::json::parse(text).get<double>(), sample) << text;
    }
    EXPECT_EQ(halvexEncodeCompact(nlohmann::json(std::int64_t{2})), "2");
    EXPECT_EQ(halvexEncodeCompact(nlohmann::json(std::int64_t{-9'007'199'254'740'993})), "-9007199254740993");
}

TEST(CompactEncoding, ANonFiniteNumberAnywhereRefusesTheWholeValue) {
    const double bad[] = {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (const double number : bad) {
        EXPECT_THROW(halvexEncodeCompact(nlohmann::json(number)), JSONEncodingError);
        EXPECT_THROW(halvexEncodeCompact(nlohmann::json{{"result", {{"list", {1.0, 2.0, number}}}}}), JSONEncodingError);
        EXPECT_THROW(halvexEncodePretty(nlohmann::json{{"a", number}}), JSONEncodingError);
    }
}

TEST(CompactEncoding, InvalidUTF8IsReplacedNotThrown) {
    EXPECT_EQ(halvexEncodeCompact(nlohmann::json(std::string("a\xff" "b"))), "\"a\xEF\xBF\xBD" "b\"");
}

TEST(PrettyEncoding, IndentsWithSortedKeysAndPlainSlashes) {
    EXPECT_EQ(halvexEncodePretty(nlohmann::json{{"b", "/x/y"}, {"a", 1}}), "{\n  \"a\": 1,\n  \"b\": \"/x/y\"\n}");
}

TEST(OptionalFields, AbsentValuesAreOmitted) {
    nlohmann::json object = nlohmann::json::object();
    halvexSetOptional(object, "present", std::optional<int>(3));
    halvexSetOptional(object, "absent", std::optional<int>());
    EXPECT_EQ(halvexEncodeCompact(object), R"({"present":3})");
}

}  // namespace
}  // namespace halvex
