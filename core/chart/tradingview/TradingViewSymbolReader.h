#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/chart/records/ChartOCRCandidate.h"

namespace halvex::TradingViewChartDetector {

// Words that look like tickers but are chart chrome, currencies or order widgets.
const std::vector<std::string>& nonSymbolWords();

// An upper-case root of 2 to 12 characters, optionally followed by "!" (continuous futures) or by
// "." or "-" and a suffix: «ESZ4», «NQ1!», «BTCUSD.P». 3 to 14 characters, at least two letters,
// none of the non-symbol words.
bool looksLikeSymbol(const std::string& text);

// The instrument symbol of one pane, from its candidates in recognition order: the large
// watermark («ESZ4, 5m») first, else a whole legend text in the pane's top-left corner, else the
// most frequent symbol-like token of the legend. Absent when none reads as a symbol.
std::optional<std::string> readSymbol(const std::vector<ChartOCRCandidate>& candidates);

}  // namespace halvex::TradingViewChartDetector
