#include "core/chart/tradingview/TextPattern.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace halvex {
namespace {

TEST(TextPattern, ReportsGroupsAndByteOffsets) {
    const TextPattern pattern(R"re(([A-Z]+)(?:-([0-9]+))?)re");
    ASSERT_TRUE(pattern.isUsable());
    const auto match = pattern.firstMatch("€× ES-12");
    ASSERT_TRUE(match.has_value());
    EXPECT_EQ(match->whole(), "ES-12");
    EXPECT_EQ(match->group(1), "ES");
    EXPECT_EQ(match->group(2), "12");
    EXPECT_EQ(match->group(7), std::nullopt);
    EXPECT_EQ(match->start, std::string("€× ").size());

    const auto partial = pattern.firstMatch("NQ");
    ASSERT_TRUE(partial.has_value());
    EXPECT_EQ(partial->group(2), std::nullopt);  // the optional group did not take part
}

TEST(TextPattern, WalksMatchesLeftToRightUntilStopped) {
    const TextPattern digits("[0-9]+");
    std::vector<std::string> seen;
    EXPECT_FALSE(digits.findMatch("1 22 333", [&](const TextMatch& m) {
        seen.push_back(m.whole());
        return false;
    }));
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "22", "333"}));
    seen.clear();
    EXPECT_TRUE(digits.findMatch("1 22 333", [&](const TextMatch& m) {
        seen.push_back(m.whole());
        return m.whole() == "22";
    }));
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "22"}));
}

TEST(TextPattern, CaseInsensitiveOnlyWhenAsked) {
    EXPECT_FALSE(TextPattern("USD").matchesAnywhere("+5 usd"));
    EXPECT_TRUE(TextPattern("USD", TextPattern::Case::insensitive).matchesAnywhere("+5 usd"));
}

TEST(TextPattern, ReplacementIsLiteral) {
    EXPECT_EQ(TextPattern(R"re(\s+)re").replacingMatches(" a \t b\n", "$1\\"), "$1\\a$1\\b$1\\");
}

TEST(TextPattern, PatternThatFailsToCompileNeverMatches) {
    const TextPattern broken("(?<![0-9");
    EXPECT_FALSE(broken.isUsable());
    EXPECT_FALSE(broken.matchesAnywhere("anything"));
    EXPECT_FALSE(broken.firstMatch("anything").has_value());
    EXPECT_FALSE(broken.findMatch("anything", [](const TextMatch&) { return true; }));
    EXPECT_EQ(broken.replacingMatches("anything", "x"), "anything");
}

TEST(TextPattern, OneCompiledPatternServesManyThreads) {
    const TextPattern pattern(R"re(([+\-])([0-9]+))re");
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const std::string number = std::to_string(i * 4 + t);
                const auto match = pattern.firstMatch("x -" + number + " y");
                if (!match || match->group(2) != number) ++failures[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, (std::vector<int>{0, 0, 0, 0}));
}

}  // namespace
}  // namespace halvex
