#include "core/chart/tradingview/TradingViewTextRules.h"

#include <array>
#include <utility>

#include "core/chart/tradingview/TextCharacters.h"
#include "core/chart/tradingview/TradingViewLabelGrammar.h"

namespace halvex::TradingViewChartDetector {

namespace {

struct RuleSource {
    ChartRejectionRule rule;
    const char* pattern;
};

// Tried in this order: «Buy Limit» must read as a limit order before the quote-button rule sees «Buy».
constexpr std::array<RuleSource, 7> ruleSources{{
    {ChartRejectionRule::positionDrawingTool, R"re(\b(?:LONG|SHORT)\s+POSITION\b)re"},
    {ChartRejectionRule::drawingToolStatistics,
     R"re(\bRISK\s*[/:\-]?\s*REWARD\b|\bR\s*/\s*R\b|\bAMOUNT\b|\bQTY\b|\bQUANTITY\b|\bOPEN\s*P\s*&?\s*L\b|\bOPEN\s*PNL\b|\bENTRY\s*PRICE\b|\bLOT\s*SIZE\b|\bPROFIT\s*LEVEL\b|\bSTOP\s*LEVEL\b)re"},
    {ChartRejectionRule::orderToast,
     R"re(\bORDERS?\b|\bEXECUTED\b|\bFILLED\b|\bCANCELL?ED\b|\bREJECTED\b|\bPLACED\b|\bMODIFIED\b|\bWORKING\b|\bPENDING\b|\bSUBMITTED\b)re"},
    {ChartRejectionRule::stopOrder, R"re(\bSTOP\b|\bSTOPS\b|\bS\s*/\s*L\b|\bSL\b|\bTRAILING\b)re"},
    {ChartRejectionRule::limitOrder, R"re(\bLIMIT\b|\bMKT\b|\bMARKET\s+ORDER\b)re"},
    {ChartRejectionRule::targetOrder, R"re(\bTARGETS?\b|\bTAKE\s*-?\s*PROFIT\b|\bTP\b|\bT/P\b)re"},
    {ChartRejectionRule::quoteButton, R"re(\bBUY\b|\bSELL\b|\bBID\b|\bASK\b)re"},
}};

}  // namespace

const std::vector<TextRule>& textRules() {
    static const std::vector<TextRule> table = [] {
        std::vector<TextRule> rules;
        for (const RuleSource& source : ruleSources) {
            auto pattern = std::make_shared<const TextPattern>(source.pattern, TextPattern::Case::insensitive);
            if (pattern->isUsable()) rules.push_back({source.rule, std::move(pattern)});
        }
        return rules;
    }();
    return table;
}

std::optional<ChartRejectionRule> textRejection(const std::string& text) {
    const std::string upper = TextCharacters::upperCased(normalizedText(text));
    if (upper.empty()) return ChartRejectionRule::emptyText;
    for (const TextRule& entry : textRules()) {
        if (entry.expression->matchesAnywhere(upper)) return entry.rule;
    }
    return std::nullopt;
}

}  // namespace halvex::TradingViewChartDetector
