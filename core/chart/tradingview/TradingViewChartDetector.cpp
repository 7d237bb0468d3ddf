#include "core/chart/tradingview/TradingViewChartDetector.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/chart/tradingview/TextCharacters.h"

namespace halvex {

std::vector<std::string> ChartClassification::selectionLog() const {
    std::vector<std::string> lines;
    lines.reserve(decisions.size());
    for (const ChartCandidateDecision& decision : decisions) lines.push_back(decision.logLine());
    return lines;
}

namespace TradingViewChartDetector {

namespace {

constexpr double minimumConfidence = 0.15;
// Texts centred above or below this band sit in the window chrome.
constexpr double chartBandLow = 0.06;
constexpr double chartBandHigh = 0.94;
constexpr double protectiveHorizontalReach = 0.12;
constexpr double protectiveVerticalReach = 0.55;
constexpr std::size_t decisionLimit = 12;
constexpr std::size_t candidateLimit = 60;
constexpr std::size_t snippetCount = 6;
constexpr std::size_t logEvidenceLimit = 200;
constexpr std::size_t protectiveTextLimit = 80;
constexpr double confidenceTolerance = 1e-6;

const std::string selectedPrefix = "selected";
const std::string rejectedPrefix = "rejected(";

std::string formatted(const char* format, double value) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string outrankedDetail(double confidence) {
    return formatted("outranked by a stronger row (confidence %.2f)", confidence);
}

std::string untrackedPaneDetail(const ChartPane& pane, double position, double confidence) {
    const std::string label = pane.label();
    const std::string quantity = formatQuantity(position);
    char buffer[512];
    std::snprintf(buffer, sizeof buffer,
                  "%s also shows a position (%s at confidence %.2f); Halvex tracks one at a time.", label.c_str(),
                  quantity.c_str(), confidence);
    return buffer;
}

ChartCandidateDecision outranked(std::string text, double confidence, std::optional<std::string> role) {
    return {std::move(text), false, std::nullopt, outrankedDetail(confidence), std::move(role), std::nullopt};
}

// The strongest accepted row so far.
struct BestRow {
    ParsedPositionLabel label;
    double confidence = 0;
    std::optional<std::string> role;
    double centerY = 0;
    double centerX = 0;
    ChartNormalizedRect labelRect;
    std::optional<ChartNormalizedRect> badgeRect;
    std::string text;
};

bool isQuietRejection(const ChartCandidateDecision& decision) {
    const auto& reason = decision.rejectionReason;
    return reason && (*reason == rawValue(ChartRejectionRule::outsideChartBand) ||
                      *reason == rawValue(ChartRejectionRule::lowConfidence) ||
                      *reason == rawValue(ChartRejectionRule::emptyText));
}

ChartProtectiveLevel protectiveLevel(const ProtectiveEntry& entry) {
    return {entry.reading.pnl, entry.reading.currency, TextCharacters::prefix(entry.text, protectiveTextLimit),
            std::nullopt};
}

// A lone entry: an unfilled order marker is the stop; otherwise the sign decides.
void judgeBySign(const ProtectiveEntry& entry, bool markerIsStop, ProtectiveLevels& levels) {
    if (markerIsStop && entry.role == TradingViewVisualRole::unfilledOrder) {
        levels.stopLoss = protectiveLevel(entry);
    } else if (entry.reading.pnl > 0) {
        levels.takeProfit = protectiveLevel(entry);
    } else if (entry.reading.pnl < 0) {
        levels.stopLoss = protectiveLevel(entry);
    }
}

bool higherConfidenceFirst(const ChartTradeObservation& a, const ChartPane& paneA, const ChartTradeObservation& b,
                           const ChartPane& paneB) {
    if (std::fabs(a.confidence - b.confidence) <= confidenceTolerance) return paneA.index < paneB.index;
    return a.confidence > b.confidence;
}

void append(std::vector<std::string>& to, const std::vector<std::string>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

}  // namespace

const std::string& version() {
    static const std::string text = "tradingview-position-label-v2";
    return text;
}

const std::vector<std::string>& requirements() {
    static const std::vector<std::string> texts{
        "Capture a TradingView window rather than an entire display.",
        "Keep TradingView's Positions and Profit & loss chart labels visible.",
        "Use a P&L label that includes money/currency, ticks/pips/points, or percent.",
        "Keep the active-position quantity badge visibly filled with TradingView's blue/red position color.",
        "Keep the horizontal position line visible; Halvex verifies it before opening a trade.",
        "With several charts in one window, keep the divider between them visible: Halvex splits the window there "
        "and reads each chart on its own.",
    };
    return texts;
}

const std::vector<std::string>& limitations() {
    static const std::vector<std::string> texts{
        "Vision OCR can miss small, occluded, animated, low-contrast, or heavily scaled labels.",
        "Custom position colors can defeat the filled-badge guard used to reject attached stop/target orders.",
        "Buy/Sell buttons, limit and stop orders, target rows, order toasts and Long/Short Position drawings are "
        "rejected by name; a custom script that exactly imitates the compact filled label can still false-match.",
        "The chart label does not reliably reveal symbol, fill price, or whether an exit was stop-loss, take-profit, "
        "or manual.",
        "The watcher observes only what is visible in the selected window; hidden positions cannot be detected.",
        "When the quantity badge digits cannot be read, Halvex reports the position as unreadable rather than "
        "guessing a size.",
        "The label is located on a reduced copy of the frame and READ from the capture's original pixels. A window "
        "whose position label is occluded, or whose badge colour or position line the pixel stage cannot find, is "
        "never re-read at full resolution and is judged on the reduced frame alone.",
        "Below roughly a quarter-screen non-Retina window (about 1060x620 for a full TradingView layout) Vision stops "
        "resolving the currency and the protective rows' digits; Halvex reports nothing rather than a wrong "
        "position. That floor applies to each chart in a multi-chart window, so several charts in a small window can "
        "leave every one of them unreadable.",
        "Only one position is tracked at a time. When two charts both show one, the stronger reading wins (leftmost "
        "on a tie) and the other is recorded in the selection log as seen but untracked.",
        "Chart panes are separated at the vertical divider TradingView draws between them. A layout with no visible "
        "divider, or a strip narrower than a fifth of the window, is read as one chart.",
        "The symbol is read from the owning chart's own symbol button, legend or watermark. When it cannot be read "
        "Halvex reports none and the configured name is used; it never abbreviates or guesses an instrument.",
        "A trade is closed only once the position line and its filled badge are gone from the pixels, so a position "
        "line hidden behind a dialog, a drawing, or a chart scrolled until the line leaves the pane keeps the trade "
        "open until it comes back or the window really is clear of it.",
        "While the chart is being panned or rescaled, a CHANGE in position size is deferred rather than reported: it "
        "is believed once the chart holds still for two scans. A genuine add or partial taken mid-drag is reported "
        "about a second and a half late.",
    };
    return texts;
}

ChartClassification classifyDetailed(const std::vector<ChartOCRCandidate>& candidates, double observedAt,
                                     bool pixelAnalysisAvailable) {
    if (!pixelAnalysisAvailable) {
        const std::vector<ChartCandidateDecision> decisions{ChartCandidateDecision::rejected(
            candidates.empty() ? std::string() : candidates.front().text, ChartRejectionRule::pixelAnalysisUnavailable,
            std::nullopt, std::nullopt, std::nullopt)};
        return {notDetected(observedAt, candidates, candidates, decisions), decisions};
    }

    std::vector<ChartCandidateDecision> filterDecisions;
    std::vector<ChartOCRCandidate> usable;
    for (const ChartOCRCandidate& candidate : candidates) {
        std::string text = TextCharacters::trimmed(candidate.text);
        if (text.empty()) continue;
        // Written as negated comparisons so that a NaN confidence or position is refused too.
        if (!(candidate.confidence >= minimumConfidence)) {
            filterDecisions.push_back(ChartCandidateDecision::rejected(
                std::move(text), ChartRejectionRule::lowConfidence,
                formatted("confidence %.2f", candidate.confidence), candidate.visualRole, std::nullopt));
            continue;
        }
        const double centre = candidate.y + candidate.height * 0.5;
        const bool inBand = centre >= chartBandLow && centre <= chartBandHigh;
        if (!inBand && !TradingViewVisualRole::isActive(candidate.visualRole)) {
            filterDecisions.push_back(ChartCandidateDecision::rejected(
                std::move(text), ChartRejectionRule::outsideChartBand, formatted("centre y %.3f", centre),
                candidate.visualRole, std::nullopt));
            continue;
        }
        usable.push_back(candidate);
    }

    std::vector<ProtectiveEntry> entries;
    std::vector<ChartCandidateDecision> rowDecisions;
    std::optional<BestRow> best;
    for (const TextRow& row : makeRows(usable)) {
        const std::string text = normalizedText(row.text());
        auto reading = readCompactLabel(text);
        if (!reading) reading = readProtectiveLabel(text);
        if (reading) {
            auto role = row.hasRole(TradingViewVisualRole::unfilledOrder)
                            ? std::optional<std::string>(TradingViewVisualRole::unfilledOrder)
                            : row.firstRole();
            entries.push_back({row.centerY(), row.centerX(), *reading, text, std::move(role)});
        }

        const RowVerdict verdict = evaluate(row);
        if (const auto* rejection = std::get_if<RowRejection>(&verdict)) {
            const auto activeRole = row.activeRole();
            rowDecisions.push_back(ChartCandidateDecision::rejected(text, rejection->rule, rejection->detail,
                                                                    activeRole ? activeRole : row.firstRole(),
                                                                    std::nullopt));
            continue;
        }
        const auto& label = std::get<ParsedPositionLabel>(verdict);
        const double confidence = std::clamp(0.4 * label.shapeConfidence + 0.6 * row.confidence(), 0.0, 1.0);
        if (best && !(confidence > best->confidence)) {
            rowDecisions.push_back(outranked(text, confidence, row.activeRole()));
            continue;
        }
        if (best) rowDecisions.push_back(outranked(best->text, best->confidence, best->role));
        const ChartOCRCandidate* badge = row.badgeFragment();
        best = BestRow{label,
                       confidence,
                       row.activeRole(),
                       row.centerY(),
                       badge != nullptr ? badge->x + badge->width * 0.5 : row.centerX(),
                       row.labelRect(),
                       row.badgeRect(),
                       text};
    }

    if (!best) {
        std::vector<ChartCandidateDecision> decisions = std::move(filterDecisions);
        decisions.insert(decisions.end(), rowDecisions.begin(), rowDecisions.end());
        decisions = prioritised(std::move(decisions));
        return {notDetected(observedAt, candidates, usable, decisions), decisions};
    }

    const ProtectiveLevels levels =
        protectiveLevels(best->centerY, best->centerX, best->label.currency, best->text, entries);

    ChartCandidateDecision accepted = ChartCandidateDecision::selected(best->text, best->role, std::nullopt);
    std::string joinedEvidence;
    for (const std::string& tag : best->label.evidence) {
        if (!joinedEvidence.empty()) joinedEvidence += ", ";
        joinedEvidence += tag;
    }
    accepted.detail = joinedEvidence;

    std::vector<ChartCandidateDecision> decisions = std::move(filterDecisions);
    decisions.push_back(std::move(accepted));
    decisions.insert(decisions.end(), rowDecisions.begin(), rowDecisions.end());
    decisions = prioritised(std::move(decisions));

    ChartTradeObservation observation;
    observation.observedAt = observedAt;
    observation.detected = true;
    observation.position = best->label.position;
    observation.pnl = best->label.pnl;
    observation.currency = best->label.currency;
    observation.confidence = best->confidence;
    observation.evidence = best->label.evidence;
    append(observation.evidence, logEvidence(decisions));
    observation.textSnippets = {best->label.snippet};
    observation.recognizedTextCount = static_cast<std::int64_t>(candidates.size());
    observation.candidates = annotate(usable, decisions);
    for (const ChartCandidateDecision& decision : decisions) observation.selectionLog.push_back(decision.logLine());
    observation.takeProfit = levels.takeProfit;
    observation.stopLoss = levels.stopLoss;
    observation.labelRect = best->labelRect;
    observation.badgeRect = best->badgeRect;
    observation.badgeSide = badgeSide(best->role);
    observation.positionLinePresent =
        best->badgeRect.has_value() && observation.badgeSide.has_value() && TradingViewVisualRole::isLined(best->role);
    return {std::move(observation), std::move(decisions)};
}

ChartClassification classifyDetailed(const std::vector<ChartPaneReading>& panes, double observedAt,
                                     bool pixelAnalysisAvailable) {
    if (panes.empty()) return classifyDetailed(std::vector<ChartOCRCandidate>{}, observedAt, pixelAnalysisAvailable);

    std::vector<ChartClassification> results;
    results.reserve(panes.size());
    for (const ChartPaneReading& reading : panes) {
        results.push_back(classifyDetailed(reading.candidates, observedAt, pixelAnalysisAvailable));
    }
    // Decisions name their pane only when the layout has several.
    const auto inLayout = [](const ChartPane& pane) {
        return pane.count >= 2 ? std::optional<ChartPane>(pane) : std::nullopt;
    };

    // Detected panes, strongest first; insertion keeps equal confidences in pane order.
    std::vector<std::size_t> detected;
    for (std::size_t index = 0; index < panes.size(); ++index) {
        if (!results[index].observation.detected) continue;
        auto at = detected.end();
        while (at != detected.begin() &&
               higherConfidenceFirst(results[index].observation, panes[index].pane, results[*(at - 1)].observation,
                                     panes[*(at - 1)].pane)) {
            --at;
        }
        detected.insert(at, index);
    }

    std::vector<ChartCandidateDecision> merged;
    if (!detected.empty()) {
        const std::size_t tracked = detected.front();
        for (ChartCandidateDecision decision : results[tracked].decisions) {
            if (!decision.accepted) continue;
            decision.pane = inLayout(panes[tracked].pane);
            merged.push_back(std::move(decision));
        }
        for (auto other = detected.begin() + 1; other != detected.end(); ++other) {
            const ChartClassification& result = results[*other];
            const auto accepted = std::find_if(result.decisions.begin(), result.decisions.end(),
                                               [](const ChartCandidateDecision& d) { return d.accepted; });
            const ChartPane& pane = panes[*other].pane;
            merged.push_back({accepted != result.decisions.end() ? accepted->text : std::string(), false,
                              rawValue(ChartRejectionRule::secondPositionNotTracked),
                              untrackedPaneDetail(pane, result.observation.position.value_or(0),
                                                  result.observation.confidence),
                              accepted != result.decisions.end() ? accepted->visualRole : std::nullopt, pane});
        }
    }
    for (std::size_t index = 0; index < panes.size(); ++index) {
        for (ChartCandidateDecision decision : results[index].decisions) {
            if (decision.accepted) continue;
            decision.pane = inLayout(panes[index].pane);
            merged.push_back(std::move(decision));
        }
    }
    merged = prioritised(std::move(merged));

    std::vector<ChartOCRCandidate> allCandidates;
    std::int64_t recognized = 0;
    for (std::size_t index = 0; index < panes.size(); ++index) {
        recognized += static_cast<std::int64_t>(panes[index].candidates.size());
        for (ChartOCRCandidate& candidate : rescaled(results[index].observation.candidates, panes[index].pane)) {
            if (allCandidates.size() == candidateLimit) break;
            allCandidates.push_back(std::move(candidate));
        }
    }
    std::vector<std::string> mergedLog;
    for (const ChartCandidateDecision& decision : merged) mergedLog.push_back(decision.logLine());

    if (!detected.empty()) {
        const std::size_t tracked = detected.front();
        ChartTradeObservation observation = results[tracked].observation;
        std::vector<std::string> evidence;
        for (std::string& tag : observation.evidence) {
            if (tag.starts_with(selectedPrefix) || tag.starts_with(rejectedPrefix)) continue;
            evidence.push_back(std::move(tag));
        }
        append(evidence, logEvidence(merged));
        observation.evidence = std::move(evidence);
        observation.candidates = std::move(allCandidates);
        observation.recognizedTextCount = recognized;
        observation.selectionLog = std::move(mergedLog);
        const ChartPane& pane = panes[tracked].pane;
        if (observation.labelRect) observation.labelRect = rescaled(*observation.labelRect, pane);
        if (observation.badgeRect) observation.badgeRect = rescaled(*observation.badgeRect, pane);
        observation.pane = pane;
        observation.symbol = panes[tracked].symbol;
        return {std::move(observation), std::move(merged)};
    }

    ChartTradeObservation observation;
    observation.observedAt = observedAt;
    observation.evidence = logEvidence(merged);
    for (const ChartClassification& result : results) {
        for (const std::string& snippet : result.observation.textSnippets) {
            if (observation.textSnippets.size() == snippetCount) break;
            observation.textSnippets.push_back(snippet);
        }
    }
    observation.candidates = std::move(allCandidates);
    observation.recognizedTextCount = recognized;
    observation.selectionLog = std::move(mergedLog);
    return {std::move(observation), std::move(merged)};
}

ChartTradeObservation classify(const std::vector<ChartOCRCandidate>& candidates, double observedAt,
                               bool pixelAnalysisAvailable) {
    return classifyDetailed(candidates, observedAt, pixelAnalysisAvailable).observation;
}

ChartNormalizedRect rescaled(const ChartNormalizedRect& rect, const ChartPane& pane) {
    const double width = pane.width();
    if (pane.count < 2 || !(width > 0)) return rect;
    return {pane.minX + width * rect.x, rect.y, width * rect.width, rect.height};
}

std::vector<ChartOCRCandidate> rescaled(const std::vector<ChartOCRCandidate>& candidates, const ChartPane& pane) {
    if (pane.count < 2 || !(pane.width() > 0)) return candidates;
    std::vector<ChartOCRCandidate> converted = candidates;
    for (ChartOCRCandidate& candidate : converted) {
        const ChartNormalizedRect rect = rescaled(candidate.rect(), pane);
        candidate.x = rect.x;
        candidate.width = rect.width;
        if (candidate.badgeRect) candidate.badgeRect = rescaled(*candidate.badgeRect, pane);
    }
    return converted;
}

ProtectiveLevels protectiveLevels(double near, double atCenterX, const std::optional<std::string>& matchingUnit,
                                  const std::string& excluding, const std::vector<ProtectiveEntry>& entries) {
    std::vector<const ProtectiveEntry*> kept;
    for (const ProtectiveEntry& entry : entries) {
        if (entry.text == excluding) continue;
        if (!(std::fabs(entry.centerX - atCenterX) <= protectiveHorizontalReach)) continue;
        if (!(std::fabs(entry.centerY - near) <= protectiveVerticalReach)) continue;
        if (matchingUnit && entry.reading.currency != *matchingUnit) continue;
        kept.push_back(&entry);
    }
    ProtectiveLevels levels;
    if (kept.empty()) return levels;
    if (kept.size() == 1) {
        judgeBySign(*kept.front(), true, levels);
        return levels;
    }
    const ProtectiveEntry* largest = kept.front();
    const ProtectiveEntry* smallest = kept.front();
    for (const ProtectiveEntry* entry : kept) {
        if (entry->reading.pnl > largest->reading.pnl) largest = entry;
        if (entry->reading.pnl < smallest->reading.pnl) smallest = entry;
    }
    if (largest != smallest) {
        levels.takeProfit = protectiveLevel(*largest);
        levels.stopLoss = protectiveLevel(*smallest);
    } else {
        judgeBySign(*kept.front(), false, levels);
    }
    return levels;
}

std::vector<ChartCandidateDecision> prioritised(std::vector<ChartCandidateDecision> decisions) {
    const auto tier = [](const ChartCandidateDecision& decision) {
        if (decision.accepted) return 0;
        return isQuietRejection(decision) ? 2 : 1;
    };
    const auto byTier = [&](const ChartCandidateDecision& a, const ChartCandidateDecision& b) {
        return tier(a) < tier(b);
    };
    std::stable_sort(decisions.begin(), decisions.end(), byTier);
    if (decisions.size() > decisionLimit) decisions.resize(decisionLimit);
    return decisions;
}

std::vector<ChartOCRCandidate> annotate(const std::vector<ChartOCRCandidate>& candidates,
                                        const std::vector<ChartCandidateDecision>& decisions) {
    std::vector<ChartOCRCandidate> annotated(candidates.begin(),
                                             candidates.begin() + static_cast<std::ptrdiff_t>(
                                                                      std::min(candidates.size(), candidateLimit)));
    if (decisions.empty()) return annotated;
    // Text → reason, in the order texts were first seen; a later decision on the same text wins.
    std::vector<std::pair<std::string, std::string>> reasons;
    for (const ChartCandidateDecision& decision : decisions) {
        if (decision.accepted || !decision.rejectionReason) continue;
        auto existing = std::find_if(reasons.begin(), reasons.end(),
                                     [&](const auto& entry) { return entry.first == decision.text; });
        if (existing != reasons.end()) {
            existing->second = *decision.rejectionReason;
        } else {
            reasons.emplace_back(decision.text, *decision.rejectionReason);
        }
    }
    for (ChartOCRCandidate& candidate : annotated) {
        // A decision on exactly this text is the most telling; else the first row that contains it.
        // An empty text is contained in every text, so it only ever matches an equally empty one.
        auto match = std::find_if(reasons.begin(), reasons.end(),
                                  [&](const auto& entry) { return entry.first == candidate.text; });
        if (match == reasons.end() && !candidate.text.empty()) {
            match = std::find_if(reasons.begin(), reasons.end(), [&](const auto& entry) {
                return entry.first.find(candidate.text) != std::string::npos;
            });
        }
        if (match != reasons.end()) candidate.rejectionReason = match->second;
    }
    return annotated;
}

ChartTradeObservation notDetected(double observedAt, const std::vector<ChartOCRCandidate>& candidates,
                                  const std::vector<ChartOCRCandidate>& usable,
                                  const std::vector<ChartCandidateDecision>& decisions) {
    ChartTradeObservation observation;
    observation.observedAt = observedAt;
    observation.evidence = logEvidence(decisions);

    std::vector<const ChartOCRCandidate*> byConfidence;
    byConfidence.reserve(usable.size());
    for (const ChartOCRCandidate& candidate : usable) byConfidence.push_back(&candidate);
    // NaN confidences sort last, keeping the order total.
    std::stable_sort(byConfidence.begin(), byConfidence.end(),
                     [](const ChartOCRCandidate* a, const ChartOCRCandidate* b) {
                         return !std::isnan(a->confidence) &&
                                (std::isnan(b->confidence) || a->confidence > b->confidence);
                     });
    for (std::size_t index = 0; index < byConfidence.size() && index < snippetCount; ++index) {
        observation.textSnippets.push_back(TextCharacters::prefix(byConfidence[index]->text, snippetLimit));
    }
    observation.recognizedTextCount = static_cast<std::int64_t>(candidates.size());
    observation.candidates = annotate(usable, decisions);
    for (const ChartCandidateDecision& decision : decisions) observation.selectionLog.push_back(decision.logLine());
    return observation;
}

std::vector<std::string> logEvidence(const std::vector<ChartCandidateDecision>& decisions) {
    std::vector<std::string> lines;
    lines.reserve(decisions.size());
    for (const ChartCandidateDecision& decision : decisions) {
        lines.push_back(TextCharacters::prefix(decision.logLine(), logEvidenceLimit));
    }
    return lines;
}

}  // namespace TradingViewChartDetector

}  // namespace halvex
