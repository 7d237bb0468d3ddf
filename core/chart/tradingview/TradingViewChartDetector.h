#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/chart/records/ChartCandidateDecision.h"
#include "core/chart/records/ChartGeometry.h"
#include "core/chart/records/ChartOCRCandidate.h"
#include "core/chart/records/ChartProtectiveLevel.h"
#include "core/chart/records/ChartTradeObservation.h"
#include "core/chart/tradingview/TextRow.h"
#include "core/chart/tradingview/TradingViewLabelGrammar.h"
#include "core/chart/tradingview/TradingViewSymbolReader.h"
#include "core/chart/tradingview/TradingViewTextRules.h"

namespace halvex {

// The reading of one frame (or layout) with every decision behind it, already prioritised.
struct ChartClassification {
    ChartTradeObservation observation;
    std::vector<ChartCandidateDecision> decisions;

    bool operator==(const ChartClassification&) const = default;

    // The log line of each decision, in order.
    std::vector<std::string> selectionLog() const;
};

// The recognised texts of one chart pane, in the pane's own coordinates (x and width relative to
// the pane), with the symbol read from them.
struct ChartPaneReading {
    ChartPane pane;
    std::vector<ChartOCRCandidate> candidates;
    std::optional<std::string> symbol;

    bool operator==(const ChartPaneReading&) const = default;
};

// Decides from the recognised, pixel-annotated texts of one frame whether a TradingView position is
// open and reads it (signed quantity, P&L, currency, protective levels, label and badge), explaining
// every text it considered. Pure functions, callable from any thread.
namespace TradingViewChartDetector {

const std::string& version();
// What the user must keep visible for the reader to work, and what it cannot do.
const std::vector<std::string>& requirements();
const std::vector<std::string>& limitations();

struct ProtectiveLevels {
    std::optional<ChartProtectiveLevel> takeProfit;
    std::optional<ChartProtectiveLevel> stopLoss;

    bool operator==(const ProtectiveLevels&) const = default;
};

// A row that reads as a position or protective label, kept to find the take-profit and stop-loss.
struct ProtectiveEntry {
    double centerY = 0;
    double centerX = 0;
    ChartLabelReading reading;
    std::string text;
    std::optional<std::string> role;

    bool operator==(const ProtectiveEntry&) const = default;
};

// One frame or one pane, in the coordinates of the analysed image. Without pixel analysis text
// alone never confirms a position.
ChartClassification classifyDetailed(const std::vector<ChartOCRCandidate>& candidates, double observedAt,
                                      bool pixelAnalysisAvailable);
// A multi-pane layout: every pane is classified on its own and only the strongest position is
// tracked; the others are recorded as seen but untracked.
ChartClassification classifyDetailed(const std::vector<ChartPaneReading>& panes, double observedAt,
                                     bool pixelAnalysisAvailable);
ChartTradeObservation classify(const std::vector<ChartOCRCandidate>& candidates, double observedAt,
                               bool pixelAnalysisAvailable = true);

// Pane coordinates to frame coordinates; unchanged for a single pane or a pane without width.
std::vector<ChartOCRCandidate> rescaled(const std::vector<ChartOCRCandidate>& candidates, const ChartPane& pane);
ChartNormalizedRect rescaled(const ChartNormalizedRect& rect, const ChartPane& pane);

// The take-profit and stop-loss among the entries near the position label (`near`, `atCenterX`),
// in its unit when one is given, leaving out the label's own text.
ProtectiveLevels protectiveLevels(double near, double atCenterX, const std::optional<std::string>& matchingUnit,
                                  const std::string& excluding, const std::vector<ProtectiveEntry>& entries);

// Accepted first, then rejections that say something about the chart, then low-confidence,
// outside-band and empty-text ones; stable within a tier; at most 12.
std::vector<ChartCandidateDecision> prioritised(std::vector<ChartCandidateDecision> decisions);

// The first 60 candidates, each tagged with the reason of a rejected decision whose text equals or
// contains the candidate's text.
std::vector<ChartOCRCandidate> annotate(const std::vector<ChartOCRCandidate>& candidates,
                                        const std::vector<ChartCandidateDecision>& decisions);

ChartTradeObservation notDetected(double observedAt, const std::vector<ChartOCRCandidate>& candidates,
                                  const std::vector<ChartOCRCandidate>& usable,
                                  const std::vector<ChartCandidateDecision>& decisions);

// Each decision's log line, cut to 200 characters.
std::vector<std::string> logEvidence(const std::vector<ChartCandidateDecision>& decisions);

}  // namespace TradingViewChartDetector

}  // namespace halvex
