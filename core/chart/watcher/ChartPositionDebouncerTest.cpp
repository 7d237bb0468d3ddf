#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "core/chart/watcher/ChartPositionDebouncer.h"

namespace halvex {
namespace {

// One scripted scan. `read(p)` is a readable label of size p on a still chart; `gone()` is a scan
// without label or position line and without a price axis; the modifiers add the picture's details.
struct Scan {
    ChartTradeObservation observation;

    Scan& badge(double width, double height) {
        observation.badgeRect = ChartNormalizedRect{0.6, 0.4, width, height};
        return *this;
    }
    Scan& side(std::int64_t value) {
        observation.badgeSide = value;
        return *this;
    }
    Scan& shift(double value) {
        observation.viewportShift = value;
        return *this;
    }
    Scan& carried() {
        observation.valuesCarriedForward = true;
        return *this;
    }
    Scan& entry(double price, std::optional<double> tolerance) {
        observation.entryPrice = price;
        observation.entryPriceTolerance = tolerance;
        return *this;
    }
    Scan& axis(double low, double high) {
        observation.priceAxisReadable = true;
        observation.visiblePriceLow = low;
        observation.visiblePriceHigh = high;
        return *this;
    }
    Scan& pnl(double value) {
        observation.pnl = value;
        return *this;
    }
};

Scan read(double position) {
    Scan scan;
    scan.observation.detected = true;
    scan.observation.position = position;
    scan.observation.confidence = 0.9;
    scan.observation.evidence = {"filled-position-badge"};
    return scan;
}

Scan gone() { return Scan{}; }

// The label is unreadable but the position line is still drawn.
Scan lineOnly() {
    Scan scan;
    scan.observation.positionLinePresent = true;
    return scan;
}

std::vector<Scan> repeat(const Scan& scan, int times) { return std::vector<Scan>(static_cast<std::size_t>(times), scan); }

std::vector<Scan> concat(std::initializer_list<std::vector<Scan>> parts) {
    std::vector<Scan> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Fired {
    std::size_t scan;
    ChartPositionTransitionKind kind;
    double previous;
    double position;

    bool operator==(const Fired&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Fired& f) {
    return out << "#" << f.scan << " " << rawValue(f.kind) << " " << f.previous << "->" << f.position;
}

std::vector<Fired> run(ChartPositionDebouncer& debouncer, const std::vector<Scan>& scans) {
    std::vector<Fired> fired;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        auto observation = scans[i].observation;
        observation.observedAt = 1000.0 + static_cast<double>(i);
        if (const auto transition = debouncer.ingest(observation)) {
            fired.push_back({i, transition->kind, transition->previousPosition, transition->position});
        }
    }
    return fired;
}

struct Sequence {
    const char* name;
    std::int64_t open;
    std::int64_t change;
    std::int64_t close;
    std::vector<Scan> scans;
    std::vector<Fired> expected;
};

using K = ChartPositionTransitionKind;

void expectSequences(const std::vector<Sequence>& sequences) {
    for (const auto& sequence : sequences) {
        ChartPositionDebouncer debouncer(sequence.open, sequence.change, sequence.close);
        EXPECT_EQ(run(debouncer, sequence.scans), sequence.expected) << sequence.name;
    }
}

TEST(ChartPositionDebouncer, ConfirmsExactlyTheTransitionsOfEachSequence) {
    expectSequences({
        {"two equal readings open", 2, 2, 4, {read(1), read(1)}, {{1, K::entry, 0, 1}}},
        {"a different reading restarts the opening", 2, 2, 4, {read(1), read(2), read(2)}, {{2, K::entry, 0, 2}}},
        {"a confirmation count of 0 acts as 1", 0, 0, 0, {read(1)}, {{0, K::entry, 0, 1}}},
        {"add", 2, 2, 4, {read(1), read(1), read(3), read(3)}, {{1, K::entry, 0, 1}, {3, K::add, 1, 3}}},
        {"partial exit", 2, 2, 4, {read(3), read(3), read(1), read(1)},
         {{1, K::entry, 0, 3}, {3, K::partialExit, 3, 1}}},
        {"reversal long to short", 2, 2, 4, {read(1), read(1), read(-1), read(-1)},
         {{1, K::entry, 0, 1}, {3, K::reversal, 1, -1}}},
        {"reversal agreeing with the badge colour", 2, 2, 4,
         {read(2), read(2), read(-2).side(-1), read(-2).side(-1)}, {{1, K::entry, 0, 2}, {3, K::reversal, 2, -2}}},
        {"short entry and add", 1, 3, 4, {read(-1), read(-2), read(-2), read(-2)},
         {{0, K::entry, 0, -1}, {3, K::add, -1, -2}}},
        {"close after four qualifying absent scans", 2, 2, 4, concat({{read(1), read(1)}, repeat(gone(), 4)}),
         {{1, K::entry, 0, 1}, {5, K::close, 1, 0}}},
        {"a readable scan in between restarts the close count", 2, 2, 4,
         concat({{read(1), read(1)}, repeat(gone(), 3), {read(1)}, repeat(gone(), 4)}),
         {{1, K::entry, 0, 1}, {9, K::close, 1, 0}}},
        {"a held scan restarts the close count", 2, 2, 4,
         concat({{read(1), read(1)}, repeat(gone(), 3), {lineOnly()}, repeat(gone(), 4)}),
         {{1, K::entry, 0, 1}, {9, K::close, 1, 0}}},
        {"the position line holds the position", 2, 2, 4, concat({{read(1), read(1)}, repeat(lineOnly(), 30)}),
         {{1, K::entry, 0, 1}}},
        {"after a close one reading does not reopen", 2, 2, 1, {read(1), read(1), gone(), read(1)},
         {{1, K::entry, 0, 1}, {2, K::close, 1, 0}}},
        {"after a close a new position opens again", 2, 2, 1, {read(1), read(1), gone(), read(-2), read(-2)},
         {{1, K::entry, 0, 1}, {2, K::close, 1, 0}, {4, K::entry, 0, -2}}},
        {"no known entry: absent scans close whatever the axis", 2, 2, 2,
         {read(1), read(1), gone().shift(0.5), gone().axis(10, 20)}, {{1, K::entry, 0, 1}, {3, K::close, 1, 0}}},
        {"entry in range within the tolerance: closes", 2, 2, 4,
         concat({{read(1).entry(100, 1.0), read(1).entry(100, 1.0)}, repeat(gone().axis(101, 120), 4)}),
         {{1, K::entry, 0, 1}, {5, K::close, 1, 0}}},
    });
}

TEST(ChartPositionDebouncer, HoldsWhileTheEntryCannotBeSeen) {
    expectSequences({
        {"entry below the visible range", 2, 2, 4,
         concat({{read(1).entry(100, 0.5), read(1).entry(100, 0.5)}, repeat(gone().axis(101, 120), 40)}),
         {{1, K::entry, 0, 1}}},
        {"entry known, axis unreadable", 2, 2, 4,
         concat({{read(1).entry(100, 0.5), read(1)}, repeat(gone(), 40)}), {{1, K::entry, 0, 1}}},
        {"entry known, chart scrolling", 2, 2, 4,
         concat({{read(1).entry(100, 0.5), read(1)}, repeat(gone().axis(90, 110).shift(0.006), 40)}),
         {{1, K::entry, 0, 1}}},
        {"a negative tolerance counts as none", 2, 2, 4,
         concat({{read(1).entry(100, -5), read(1)}, repeat(gone().axis(100.5, 120), 40)}), {{1, K::entry, 0, 1}}},
        {"scrolled back into view: the count starts then", 2, 2, 2,
         concat({{read(1).entry(100, 0.5), read(1)}, repeat(gone().axis(101, 120), 5),
                 repeat(gone().axis(90, 120), 2)}),
         {{1, K::entry, 0, 1}, {8, K::close, 1, 0}}},
    });

    ChartPositionDebouncer debouncer(2, 2, 4);
    run(debouncer, concat({{read(1).entry(100, 0.5), read(1)}, repeat(gone().axis(101, 120), 6)}));
    EXPECT_TRUE(debouncer.positionOffScreen());
    EXPECT_FALSE(debouncer.positionLineHeld());
    EXPECT_EQ(debouncer.heldAbsentScans(), 6);
    EXPECT_EQ(debouncer.consecutiveAbsent(), 0);
    EXPECT_EQ(debouncer.activePosition(), 1.0);

    run(debouncer, {lineOnly(), lineOnly()});
    EXPECT_TRUE(debouncer.positionLineHeld());
    EXPECT_FALSE(debouncer.positionOffScreen());
    EXPECT_EQ(debouncer.heldAbsentScans(), 8);
}

// A phantom transition cuts a clip for a trade that never happened; none of these noisy sequences
// may produce anything beyond the opening.
TEST(ChartPositionDebouncer, NoisyReadingsFireNoPhantomTransitions) {
    std::vector<Scan> dropouts{read(2), read(2)};
    for (int i = 0; i < 20; ++i) dropouts.insert(dropouts.end(), {gone(), read(2), gone(), gone(), read(2)});
    std::vector<Scan> misreads{read(2), read(2)};
    for (const double misread : {7.0, 20.0, 0.5, 3.0, 1.0, 2.5, 22.0}) misreads.insert(misreads.end(), {read(misread), read(2)});
    std::vector<Scan> alternating{read(2), read(2)};
    for (int i = 0; i < 10; ++i) alternating.insert(alternating.end(), {read(3), read(2)});
    std::vector<Scan> alternatingNoise{read(2), read(2)};
    for (int i = 0; i < 10; ++i) alternatingNoise.insert(alternatingNoise.end(), {read(3), gone(), read(3), lineOnly()});

    expectSequences({
        {"single-scan dropouts while open", 2, 2, 4, dropouts, {{1, K::entry, 0, 2}}},
        {"dropouts while opening", 3, 2, 4, {read(1), gone(), read(1), gone(), read(1), lineOnly(), read(1)}, {}},
        {"one-scan misread sizes", 2, 2, 4, misreads, {{1, K::entry, 0, 2}}},
        {"a misread alternating with the true size", 2, 2, 4, alternating, {{1, K::entry, 0, 2}}},
        {"a misread split by unreadable scans", 2, 2, 4, alternatingNoise, {{1, K::entry, 0, 2}}},
        {"brief sign flips", 2, 2, 4,
         {read(2), read(2), read(-2), read(2), read(-2).side(-1), read(2), read(-2).side(-1), gone(), read(-2).side(-1)},
         {{1, K::entry, 0, 2}}},
        {"a flipped sign the badge colour contradicts", 2, 2, 4, concat({{read(2), read(2)}, repeat(read(-2).side(1), 10)}),
         {{1, K::entry, 0, 2}}},
        {"sign flips while opening", 2, 2, 4, {read(1), read(-1), read(1), read(-1), read(1)}, {}},
        {"sizes within 1e-6 of the active one", 2, 2, 4,
         {read(1), read(1), read(3), read(1.0000005), read(3), read(0.9999995), read(3)}, {{1, K::entry, 0, 1}}},
        {"changes read from carried-forward values", 2, 2, 4, concat({{read(2), read(2)}, repeat(read(5).carried(), 10)}),
         {{1, K::entry, 0, 2}}},
        {"changes read while scrolling", 2, 2, 4, concat({{read(2), read(2)}, repeat(read(5).shift(0.006), 10)}),
         {{1, K::entry, 0, 2}}},
        {"a refused scan breaks the run of a change", 2, 2, 4,
         {read(2), read(2), read(5), read(5).shift(0.01), read(5), read(5).carried(), read(5)},
         {{1, K::entry, 0, 2}}},
        {"a badge alternating between two sizes", 2, 2, 4,
         {read(2).badge(0.02, 0.04), read(2).badge(0.02, 0.04), read(5).badge(0.02, 0.04), read(5).badge(0.02, 0.02),
          read(5).badge(0.02, 0.04), read(5).badge(0.02, 0.02), read(5).badge(0.02, 0.04)},
         {{1, K::entry, 0, 2}}},
        {"a badge that changes shape while the size changes", 2, 2, 4,
         {read(2).badge(0.02, 0.04), read(2).badge(0.02, 0.04), read(5).badge(0.05, 0.04), read(5).badge(0.02, 0.04)},
         {{1, K::entry, 0, 2}}},
        {"unreadable positions never open", 1, 1, 1,
         [] {
             std::vector<Scan> scans;
             for (const double bad : {0.0, std::nan(""), std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity()}) {
                 scans.push_back(read(bad));
             }
             Scan undetected = read(1);
             undetected.observation.detected = false;
             scans.push_back(undetected);
             Scan noPosition = read(1);
             noPosition.observation.position.reset();
             scans.push_back(noPosition);
             return scans;
         }(),
         {}},
        {"fewer absent scans than the close needs, repeatedly", 2, 2, 4,
         [] {
             std::vector<Scan> scans{read(1), read(1)};
             for (int i = 0; i < 10; ++i) scans.insert(scans.end(), {gone(), gone(), gone(), read(1)});
             return scans;
         }(),
         {{1, K::entry, 0, 1}}},
    });
}

TEST(ChartPositionDebouncer, ABadgeOfAnotherShapeIsRefusedOnceThenBecomesTheReference) {
    // Each change is compared with the previous readable scan: a half-height badge is refused when it
    // first appears and judged against itself from then on.
    ChartPositionDebouncer debouncer(2, 2, 4);
    const auto fired = run(debouncer, {read(1).badge(0.02, 0.04), read(1).badge(0.02, 0.04),
                                       read(3).badge(0.02, 0.02), read(3).badge(0.02, 0.02),
                                       read(3).badge(0.02, 0.02)});
    EXPECT_EQ(fired, (std::vector<Fired>{{1, K::entry, 0, 1}, {4, K::add, 1, 3}}));
    EXPECT_EQ(debouncer.uncorroboratedChangeScans(), 1);
}

TEST(ChartPositionDebouncer, CountsRefusedChangesAndClearsTheCandidate) {
    ChartPositionDebouncer debouncer(2, 2, 4);
    run(debouncer, {read(2), read(2), read(-2).side(1), read(-2).side(1), read(-2).side(1)});
    EXPECT_EQ(debouncer.uncorroboratedChangeScans(), 3);
    EXPECT_EQ(debouncer.candidatePosition(), std::nullopt);
    run(debouncer, {read(4)});
    EXPECT_EQ(debouncer.candidatePosition(), 4.0);
    EXPECT_EQ(debouncer.candidateConfirmations(), 1);
    run(debouncer, {read(2)});
    EXPECT_EQ(debouncer.candidatePosition(), std::nullopt);
    EXPECT_EQ(debouncer.consecutivePresent(), 7);
    run(debouncer, {gone()});
    EXPECT_EQ(debouncer.consecutivePresent(), 0);
    EXPECT_EQ(debouncer.consecutiveAbsent(), 1);
    EXPECT_EQ(debouncer.uncorroboratedChangeScans(), 3);
}

TEST(ChartPositionDebouncer, TheCloseCarriesTheLastOpenReading) {
    ChartPositionDebouncer debouncer(2, 2, 4);
    auto last = read(2).entry(5001.25, 0.25).pnl(37.5);
    last.observation.currency = "USD";
    last.observation.symbol = "ES1!";
    last.observation.pane = ChartPane{1, 2, 0.5, 1.0};
    last.observation.textSnippets = {"2 +37.50 USD"};
    last.observation.evidence = {"position-line", "filled-position-badge"};
    last.observation.confidence = 0.82;
    std::vector<Scan> scans{read(2).pnl(10), last, read(2)};  // the last scan has no entry price
    scans.back().observation.pnl = 40.0;
    scans.back().observation.evidence = {"late"};
    // The entry is known, so only scans whose axis shows it count toward the close.
    for (int i = 0; i < 3; ++i) scans.push_back(gone().axis(4990, 5010));
    Scan closing = gone().axis(4990, 5010);
    closing.observation.recognizedTextCount = 9;
    closing.observation.candidates = {ChartOCRCandidate{"noise", 0.2, 0, 0, 0.1, 0.1, {}, {}, {}, {}}};
    scans.push_back(closing);

    std::optional<ChartPositionTransition> close;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        auto observation = scans[i].observation;
        observation.observedAt = 2000.0 + static_cast<double>(i);
        if (auto transition = debouncer.ingest(observation)) close = transition;
    }
    ASSERT_TRUE(close);
    EXPECT_EQ(close->kind, K::close);
    EXPECT_EQ(close->previousPosition, 2.0);
    EXPECT_EQ(close->position, 0.0);

    ChartTradeObservation expected;
    expected.observedAt = 2006.0;
    expected.recognizedTextCount = 9;
    expected.detected = false;
    expected.position = 0.0;
    expected.pnl = 40.0;
    expected.confidence = 0.9;
    expected.evidence = {"late", "overlay-absent-confirmed"};
    expected.entryPrice = 5001.25;
    expected.entryPriceTolerance = 0.25;
    EXPECT_EQ(close->observation, expected);

    EXPECT_EQ(debouncer.activePosition(), std::nullopt);
    EXPECT_EQ(debouncer.knownEntryPrice(), std::nullopt);
    EXPECT_EQ(debouncer.knownEntryPriceTolerance(), std::nullopt);
    EXPECT_EQ(debouncer.lastMatchedObservation(), std::nullopt);
    EXPECT_EQ(debouncer.consecutiveAbsent(), 0);
}

TEST(ChartPositionDebouncer, TheCloseKeepsSymbolPaneAndSnippetsOfTheLastReading) {
    ChartPositionDebouncer debouncer(1, 1, 1);
    auto open = read(-1).pnl(-5);
    open.observation.currency = "EUR";
    open.observation.symbol = "DAX";
    open.observation.pane = ChartPane{0, 2, 0.0, 0.5};
    open.observation.textSnippets = {"-1 -5.00 EUR"};
    open.observation.takeProfit = ChartProtectiveLevel{10, "EUR", {}, {}};
    debouncer.ingest(open.observation);
    const auto close = debouncer.ingest(gone().observation);
    ASSERT_TRUE(close);
    EXPECT_EQ(close->observation.symbol, "DAX");
    EXPECT_EQ(close->observation.pane, open.observation.pane);
    EXPECT_EQ(close->observation.currency, "EUR");
    EXPECT_EQ(close->observation.textSnippets, open.observation.textSnippets);
    EXPECT_EQ(close->observation.takeProfit, std::nullopt);  // levels do not outlive the position
    EXPECT_EQ(close->observation.evidence,
              (std::vector<std::string>{"filled-position-badge", "overlay-absent-confirmed"}));
}

TEST(ChartPositionDebouncer, AnUnusableToleranceCountsAsNone) {
    // A NaN tolerance would put the entry outside every range and hold the position for ever.
    for (const double tolerance : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        ChartPositionDebouncer inRange(1, 1, 2);
        EXPECT_EQ(run(inRange, {read(1).entry(100, tolerance), gone().axis(99, 120), gone().axis(99, 120)}),
                  (std::vector<Fired>{{0, K::entry, 0, 1}, {2, K::close, 1, 0}}))
            << tolerance;
        ChartPositionDebouncer outOfRange(1, 1, 2);
        EXPECT_EQ(run(outOfRange, {read(1).entry(100, tolerance), gone().axis(101, 120), gone().axis(101, 120)}),
                  (std::vector<Fired>{{0, K::entry, 0, 1}}))
            << tolerance;
    }
}

TEST(ChartPositionDebouncer, ResetKeepsOnlyTheConfirmationCounts) {
    ChartPositionDebouncer debouncer(0, 3, 5);
    EXPECT_EQ(debouncer.openConfirmations(), 1);
    EXPECT_EQ(debouncer.changeConfirmations(), 3);
    EXPECT_EQ(debouncer.closeConfirmations(), 5);
    run(debouncer, {read(1).entry(10, 1), read(-1).side(1), read(4), lineOnly()});
    ASSERT_TRUE(debouncer.activePosition());
    debouncer.reset();
    EXPECT_EQ(debouncer, ChartPositionDebouncer(1, 3, 5));
}

TEST(ChartPositionTransitionKind, RawValuesInOrder) {
    const std::vector<std::string> expected{"entry", "add", "partialExit", "reversal", "close"};
    ASSERT_EQ(allChartPositionTransitionKinds.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(rawValue(allChartPositionTransitionKinds[i]), expected[i]);
        EXPECT_EQ(parseChartPositionTransitionKind(expected[i]), allChartPositionTransitionKinds[i]);
    }
    EXPECT_EQ(parseChartPositionTransitionKind("partial-exit"), std::nullopt);
}

}  // namespace
}  // namespace halvex
