#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "core/support/HalvexNativeError.h"
#include "helper/protocol/HelperRequest.h"
#include "helper/protocol/Payload.h"

namespace halvex {
namespace {

Payload payloadOf(const std::string& json) { return HelperRequest::decode(R"({"id":"1","command":"c","payload":)" + json + "}").payload; }

std::string failureOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const HalvexNativeError& error) {
        EXPECT_EQ(error.kind(), HalvexNativeError::Kind::invalidPayload);
        return error.description();
    }
    return "(no failure)";
}

TEST(PayloadAccessors, StringsFollowTheirOwnTrimmingRules) {
    const auto payload = payloadOf(R"({"spaced":"  ab  ","blank":"   ","empty":"","number":3,"nbsp":"\u00a0x\u2028"})");
    EXPECT_EQ(payload.requiredString("spaced"), "  ab  ");
    EXPECT_EQ(payload.requiredString("blank"), "   ");
    EXPECT_EQ(payload.string("spaced", "d"), "ab");
    EXPECT_EQ(payload.string("nbsp", "d"), "x");
    EXPECT_EQ(payload.string("absent", "fallback"), "fallback");

    const std::pair<std::function<void()>, std::string> failures[] = {
        {[&] { payload.requiredString("absent"); }, "Invalid payload: absent must be a non-empty string."},
        {[&] { payload.requiredString("empty"); }, "Invalid payload: empty must be a non-empty string."},
        {[&] { payload.requiredString("number"); }, "Invalid payload: number must be a non-empty string."},
        {[&] { payload.string("blank", "d"); }, "Invalid payload: blank must be a non-empty string."},
        {[&] { payload.string("number", "d"); }, "Invalid payload: number must be a non-empty string."},
    };
    for (const auto& [read, message] : failures) EXPECT_EQ(failureOf(read), message);
}

TEST(PayloadAccessors, NumbersAndBooleansAreNotConvertedFromOtherTypes) {
    const auto payload = payloadOf(R"({"n":2.5,"big":1e300,"text":"480","flag":true,"one":1,"null":null})");
    EXPECT_EQ(payload.number("n", 0), 2.5);
    EXPECT_EQ(payload.number("big", 0), 1e300);
    EXPECT_EQ(payload.number("absent", 7), 7);
    EXPECT_TRUE(payload.boolean("flag", false));
    EXPECT_FALSE(payload.boolean("absent", false));
    EXPECT_EQ(failureOf([&] { payload.number("text", 0); }), "Invalid payload: text must be a finite number.");
    EXPECT_EQ(failureOf([&] { payload.number("null", 0); }), "Invalid payload: null must be a finite number.");
    EXPECT_EQ(failureOf([&] { payload.boolean("one", false); }), "Invalid payload: one must be true or false.");
    EXPECT_EQ(failureOf([&] { payload.boolean("text", false); }), "Invalid payload: text must be true or false.");
}

TEST(PayloadAccessors, EpochSecondsAcceptsSecondsMillisecondsTextAndDates) {
    const auto payload = payloadOf(R"({"seconds":1700000000.5,"millis":1700000000500,"text":"1700000000.5",
        "textMillis":"1700000000500","date":"2023-11-14T22:13:20Z","fraction":"2023-11-14T22:13:20.5+00:00",
        "negativeMillis":-100000000000,"edge":99999999999,"inf":"inf","spaced":"2023-11-14 22:13:20Z",
        "yes":true,"list":[1],"word":"soon","padded":" 17"})");
    const std::pair<const char*, double> accepted[] = {
        {"seconds", 1'700'000'000.5}, {"millis", 1'700'000'000.5},   {"text", 1'700'000'000.5},
        {"textMillis", 1'700'000'000.5}, {"date", 1'700'000'000.0}, {"fraction", 1'700'000'000.5},
        {"negativeMillis", -100'000'000.0}, {"edge", 99'999'999'999.0},
    };
    for (const auto& [key, seconds] : accepted) EXPECT_DOUBLE_EQ(payload.epochSeconds(key), seconds) << key;
    const std::pair<const char*, std::string> refused[] = {
        {"absent", "Invalid payload: absent is required."},
        {"inf", "Invalid payload: inf must be finite."},
        {"spaced", "Invalid payload: spaced must be an ISO-8601 date or Unix timestamp."},
        {"yes", "Invalid payload: yes must be an ISO-8601 date or Unix timestamp."},
        {"list", "Invalid payload: list must be an ISO-8601 date or Unix timestamp."},
        {"word", "Invalid payload: word must be an ISO-8601 date or Unix timestamp."},
        {"padded", "Invalid payload: padded must be an ISO-8601 date or Unix timestamp."},
    };
    for (const auto& [key, message] : refused) EXPECT_EQ(failureOf([&] { payload.epochSeconds(key); }), message);
}

TEST(PayloadRules, RoundsHalfAwayFromZeroBeforeInclusiveBounds) {
    const std::string message = "maxWidth must be between 64 and 1920.";
    EXPECT_EQ(roundedIntegerInRange(63.5, 64, 1920, message), 64);
    EXPECT_EQ(roundedIntegerInRange(1920.4, 64, 1920, message), 1920);
    EXPECT_EQ(roundedIntegerInRange(-0.5, -1, 1, message), -1);
    for (const double bad : {1920.5, 63.4, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(failureOf([&] { roundedIntegerInRange(bad, 64, 1920, message); }), "Invalid payload: " + message);
    }
}

}  // namespace
}  // namespace halvex
