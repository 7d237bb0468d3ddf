#include <gtest/gtest.h>

#include <cmath>

#include "core/capture/MediaTime.h"

namespace halvex {
namespace {

TEST(MediaTime, ValidityAndNumericFlags) {
    EXPECT_FALSE(MediaTime{}.isValid());
    EXPECT_FALSE(MediaTime::make(5, 0).isValid());
    EXPECT_TRUE(MediaTime::make(5, 600).isNumeric());
    EXPECT_TRUE(MediaTime::positiveInfinity().isValid());
    EXPECT_FALSE(MediaTime::positiveInfinity().isNumeric());
    EXPECT_FALSE(MediaTime::indefinite().isNumeric());
    EXPECT_TRUE(std::isnan(MediaTime::invalid().seconds()));
    EXPECT_TRUE(std::isinf(MediaTime::negativeInfinity().seconds()));
    EXPECT_DOUBLE_EQ(MediaTime::make(-900, 600).seconds(), -1.5);
    EXPECT_EQ(MediaTime::fromSeconds(10.0, 600), MediaTime::make(6000, 600));
    EXPECT_EQ(MediaTime::fromSeconds(NAN, 600).kind, MediaTime::Kind::indefinite);
}

TEST(MediaTime, SubtractionIsExactAcrossTimescales) {
    struct Case {
        MediaTime lhs, rhs, expected;
    };
    const MediaTime inf = MediaTime::positiveInfinity();
    const MediaTime ninf = MediaTime::negativeInfinity();
    for (const Case& c : {
             Case{MediaTime::make(90, 30), MediaTime::make(600, 600), MediaTime::make(2, 1).convertedTo(600)},
             Case{MediaTime::make(1, 3), MediaTime::make(1, 2), MediaTime::make(-1, 6)},
             Case{MediaTime::make(1'000'000'001, 1'000'000'000), MediaTime::make(1, 1),
                  MediaTime::make(1, 1'000'000'000)},
             Case{inf, MediaTime::make(1, 1), inf},
             Case{MediaTime::make(1, 1), inf, ninf},
             Case{inf, inf, MediaTime::indefinite()},
             Case{inf, ninf, inf},
             Case{MediaTime::invalid(), MediaTime::make(1, 1), MediaTime::invalid()},
             Case{MediaTime::indefinite(), MediaTime::make(1, 1), MediaTime::indefinite()},
         }) {
        const MediaTime difference = c.lhs - c.rhs;
        EXPECT_EQ(difference.kind, c.expected.kind);
        if (c.expected.isNumeric()) {
            EXPECT_EQ(compare(difference, c.expected), std::partial_ordering::equivalent);
        }
    }
    // Timescales whose common multiple overflows fall back to the finer one.
    const MediaTime coarse = MediaTime::make(3, 2'147'483'647) - MediaTime::make(1, 2'147'483'646);
    EXPECT_EQ(coarse.timescale, 2'147'483'647);
    EXPECT_NEAR(coarse.seconds(), 2.0 / 2'147'483'647, 1e-18);
}

TEST(MediaTime, ComparesInstantsNotFields) {
    EXPECT_EQ(compare(MediaTime::make(1, 30), MediaTime::make(20, 600)), std::partial_ordering::equivalent);
    EXPECT_NE(MediaTime::make(1, 30), MediaTime::make(20, 600));
    EXPECT_EQ(compare(MediaTime::make(1, 30), MediaTime::make(21, 600)), std::partial_ordering::less);
    EXPECT_EQ(compare(MediaTime::negativeInfinity(), MediaTime::make(-1'000'000, 1)), std::partial_ordering::less);
    EXPECT_EQ(compare(MediaTime::indefinite(), MediaTime::zero()), std::partial_ordering::unordered);
}

}  // namespace
}  // namespace halvex
