#include "core/sources/SourceCatalog.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string_view>

#include "core/support/DetailedError.h"
#include "core/support/HalvexIdentity.h"
#include "core/support/HalvexNativeError.h"
#include "core/support/NativeLog.h"

namespace halvex {
namespace {

constexpr double minimumWindowSide = 120;
constexpr double maximumCaptureSide = 3840;
constexpr double maximumCaptureArea = 9'437'184;  // 3072 x 3072
constexpr std::int64_t minimumPreviewSide = 64;
constexpr double previewJPEGQuality = 0.7;
constexpr const char* systemApplicationName = "System";
constexpr const char* unknownApplicationName = "Application";
constexpr const char* tradingViewDesktopBundleID = "com.tradingview.tradingviewapp.desktop";

constexpr const char* ownWindowMessage = "Halvex cannot record its own window.";
constexpr const char* unknownTypeMessage = "sourceType must be 'window' or 'screen'.";
constexpr const char* encodingFailedMessage = "Could not encode the source preview.";

// Windows of these applications belong to the system's own chrome and are never listed.
const std::set<std::string>& systemChrome() {
    static const std::set<std::string> identifiers{"com.apple.dock", "com.apple.notificationcenterui",
                                                   "com.apple.controlcenter", "com.apple.wallpaper.agent",
                                                   "com.apple.WindowManager"};
    return identifiers;
}

bool isOwnIdentifier(const std::string& bundleID, const std::set<std::string>& own) {
    return !bundleID.empty() && own.count(bundleID) > 0;
}

std::string permissionState(bool granted, const char* yes, const char* no) { return granted ? yes : no; }

// Trims Unicode white space and line breaks from both ends of UTF-8 text.
std::string trimmed(const std::string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t begin = 0;
    while (begin < length) {
        std::int32_t next = begin;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        begin = next;
    }
    std::int32_t end = length;
    while (end > begin) {
        std::int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(bytes, begin, previous, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

std::int64_t roundedHalfAwayFromZero(double value) { return static_cast<std::int64_t>(std::round(value)); }

std::int64_t evenAtLeastTwo(std::int64_t value) {
    value -= value % 2;
    return value < 3 ? 2 : value;
}

bool isActiveOwner(const std::optional<std::int32_t>& owner, const std::optional<std::int32_t>& frontmost) {
    return owner == frontmost;
}

NativeCaptureSource displayRow(const ShareableDisplay& display, std::size_t index) {
    NativeCaptureSource row;
    row.id = std::string(SourceType::screen) + ":" + std::to_string(display.displayId);
    row.type = SourceType::screen;
    row.name = SourceCatalog::displayName(display.name, index);
    row.appName = systemApplicationName;
    row.nativeId = display.displayId;
    row.x = display.frame.x;
    row.y = display.frame.y;
    row.width = display.width;
    row.height = display.height;
    row.displayId = display.displayId;
    row.isCapturable = true;
    row.isOnScreen = true;
    row.isActive = true;
    row.discovery = SourceDiscovery::screenCapture;
    return row;
}

std::string windowName(const std::optional<std::string>& title, const std::string& appName) {
    auto name = title ? trimmed(*title) : std::string();
    return name.empty() ? appName + " Window" : name;
}

NativeCaptureSource windowRow(const ShareableWindow& window, const std::vector<ShareableDisplay>& displays,
                              std::optional<std::int32_t> frontmostProcessId) {
    NativeCaptureSource row;
    row.id = std::string(SourceType::window) + ":" + std::to_string(window.windowId);
    row.type = SourceType::window;
    row.appName = window.owner ? window.owner->applicationName : unknownApplicationName;
    row.name = windowName(window.title, row.appName);
    row.bundleId = window.owner ? window.owner->bundleIdentifier : std::string();
    row.nativeId = window.windowId;
    row.x = window.frame.x;
    row.y = window.frame.y;
    row.width = roundedHalfAwayFromZero(window.frame.width);
    row.height = roundedHalfAwayFromZero(window.frame.height);
    row.displayId = SourceCatalog::displayIDContaining(window.frame, displays);
    row.isCapturable = true;
    row.isOnScreen = window.isOnScreen;
    row.isActive = isActiveOwner(window.owner ? window.owner->processId : std::nullopt, frontmostProcessId);
    row.discovery = SourceDiscovery::screenCapture;
    return row;
}

std::string lowercasedASCII(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

// Compares names as people read them: by the user's locale, ignoring letter case.
class CaseInsensitiveNameOrder {
public:
    CaseInsensitiveNameOrder() {
        UErrorCode status = U_ZERO_ERROR;
        // The C/POSIX locale maps to ICU's en_US_POSIX, whose order is by code point (capitals
        // first); people reading names expect the common order instead.
        icu::Locale locale = icu::Locale::getDefault();
        if (std::string_view(locale.getName()) == "en_US_POSIX") locale = icu::Locale::getRoot();
        collator_.reset(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status)) collator_.reset();
        if (collator_) collator_->setStrength(icu::Collator::SECONDARY);
    }
    bool less(const std::string& left, const std::string& right) const {
        if (!collator_) return lowercasedASCII(left) < lowercasedASCII(right);
        UErrorCode status = U_ZERO_ERROR;
        const auto order = collator_->compareUTF8(left, right, status);
        if (U_FAILURE(status)) return lowercasedASCII(left) < lowercasedASCII(right);
        return order == UCOL_LESS;
    }

private:
    std::unique_ptr<icu::Collator> collator_;
};

}  // namespace

std::string SourceCatalog::processIdentityDescription() {
    auto identifier = HalvexIdentity::ownBundleIdentifier();
    if (identifier.empty()) identifier = "no-bundle-id";
    return identifier + " (" + HalvexIdentity::bundlePath() + ")";
}

std::pair<std::int64_t, std::int64_t> SourceCatalog::fittedDimensions(std::int64_t width, std::int64_t height) {
    const double w = width <= 0 ? 1.0 : static_cast<double>(width);
    const double h = height < 2 ? 1.0 : static_cast<double>(height);
    double factor = std::min({maximumCaptureSide / w, maximumCaptureSide / h, 1.0});
    const double area = (w * factor) * (h * factor);
    if (area > maximumCaptureArea) factor *= std::sqrt(maximumCaptureArea / area);
    return {evenAtLeastTwo(static_cast<std::int64_t>(std::floor(w * factor))),
            evenAtLeastTwo(static_cast<std::int64_t>(std::floor(h * factor)))};
}

std::pair<std::int64_t, std::int64_t> SourceCatalog::thumbnailDimensions(std::int64_t outputWidth,
                                                                          std::int64_t outputHeight,
                                                                          std::int64_t maxWidth) {
    std::int64_t width = std::max(std::min(outputWidth, maxWidth), minimumPreviewSide);
    const double ratio = static_cast<double>(outputHeight) / static_cast<double>(std::max<std::int64_t>(outputWidth, 1));
    std::int64_t height = roundedHalfAwayFromZero(ratio * static_cast<double>(width));
    if (height < minimumPreviewSide + 1) height = minimumPreviewSide;
    return {width - width % 2, height - height % 2};
}

std::vector<NativeCaptureSource> SourceCatalog::sortedSources(std::vector<NativeCaptureSource> sources) {
    const CaseInsensitiveNameOrder names;
    std::stable_sort(sources.begin(), sources.end(), [&](const NativeCaptureSource& a, const NativeCaptureSource& b) {
        if (a.type != b.type) return a.type < b.type;
        const bool aTradingView = a.bundleId == tradingViewDesktopBundleID;
        const bool bTradingView = b.bundleId == tradingViewDesktopBundleID;
        if (aTradingView != bTradingView) return aTradingView;
        return names.less(a.name, b.name);
    });
    return sources;
}

std::optional<std::uint32_t> SourceCatalog::displayIDContaining(const SourceRect& frame,
                                                                const std::vector<ShareableDisplay>& displays) {
    const double centreX = frame.x + frame.width / 2;
    const double centreY = frame.y + frame.height / 2;
    for (const auto& display : displays) {
        const auto& d = display.frame;
        if (centreX >= d.x && centreX <= d.x + d.width && centreY >= d.y && centreY <= d.y + d.height) {
            return display.displayId;
        }
    }
    std::optional<std::uint32_t> best;
    double bestArea = -1;
    for (const auto& display : displays) {
        const auto& d = display.frame;
        const double overlapWidth = std::max(0.0, std::min(frame.x + frame.width, d.x + d.width) - std::max(frame.x, d.x));
        const double overlapHeight =
            std::max(0.0, std::min(frame.y + frame.height, d.y + d.height) - std::max(frame.y, d.y));
        const double area = overlapWidth * overlapHeight;
        if (area > bestArea) {
            bestArea = area;
            best = display.displayId;
        }
    }
    return best;
}

std::string SourceCatalog::displayName(const std::optional<std::string>& name, std::size_t fallbackIndex) {
    if (name && !name->empty()) return *name;
    return "Screen " + std::to_string(fallbackIndex);
}

std::vector<NativeCaptureSource> SourceCatalog::screenCaptureSources(const ShareableContent& content,
                                                                     std::optional<std::int32_t> frontmostProcessId) {
    std::vector<NativeCaptureSource> rows;
    for (std::size_t index = 0; index < content.displays.size(); ++index) {
        rows.push_back(displayRow(content.displays[index], index + 1));
    }
    const auto own = HalvexIdentity::runtimeBundleIdentifiers();
    for (const auto& window : content.windows) {
        if (window.frame.width < minimumWindowSide || window.frame.height < minimumWindowSide) continue;
        if (window.layer != 0) continue;
        const std::string bundleID = window.owner ? window.owner->bundleIdentifier : std::string();
        if (isOwnIdentifier(bundleID, own) || systemChrome().count(bundleID) > 0) continue;
        rows.push_back(windowRow(window, content.displays, frontmostProcessId));
    }
    return rows;
}

std::vector<NativeCaptureSource> SourceCatalog::metadataFallbackSources() const {
    const auto metadata = platform_->windowMetadata();
    if (!metadata) return {};
    std::vector<NativeCaptureSource> rows;
    if (metadata->displays) {
        for (std::size_t index = 0; index < metadata->displays->size(); ++index) {
            const auto& display = (*metadata->displays)[index];
            NativeCaptureSource row = displayRow({display.displayId, display.bounds, display.pixelsWide,
                                                  display.pixelsHigh, display.name},
                                                 index + 1);
            row.width = display.pixelsWide;
            row.height = display.pixelsHigh;
            row.isCapturable = false;
            row.discovery = SourceDiscovery::metadata;
            rows.push_back(std::move(row));
        }
    }
    const auto own = HalvexIdentity::runtimeBundleIdentifiers();
    const auto frontmost = platform_->frontmostProcessId();
    for (const auto& window : metadata->windows) {
        if (window.layer && *window.layer != 0) continue;
        if (!window.number || !window.ownerName || window.ownerName->empty() || !window.bounds) continue;
        if (window.bounds->width < minimumWindowSide || window.bounds->height < minimumWindowSide) continue;
        std::string bundleID;
        std::string applicationName;
        if (window.ownerProcessId) {
            if (const auto application = platform_->runningApplication(*window.ownerProcessId)) {
                bundleID = application->bundleIdentifier;
                applicationName = application->applicationName;
            }
        }
        if (isOwnIdentifier(bundleID, own) || systemChrome().count(bundleID) > 0) continue;
        NativeCaptureSource row;
        row.id = std::string(SourceType::window) + ":" + std::to_string(*window.number);
        row.type = SourceType::window;
        row.appName = applicationName.empty() ? *window.ownerName : applicationName;
        row.name = windowName(window.name, row.appName);
        row.bundleId = bundleID;
        row.nativeId = *window.number;
        row.x = window.bounds->x;
        row.y = window.bounds->y;
        row.width = roundedHalfAwayFromZero(window.bounds->width);
        row.height = roundedHalfAwayFromZero(window.bounds->height);
        row.isCapturable = false;
        row.isOnScreen = true;
        row.isActive = isActiveOwner(window.ownerProcessId, frontmost);
        row.discovery = SourceDiscovery::metadata;
        rows.push_back(std::move(row));
    }
    return rows;
}

SourceCatalog::Listing SourceCatalog::listSources() const {
    std::exception_ptr failure;
    try {
        const auto content = platform_->shareableContent(true, true);
        auto rows = sortedSources(screenCaptureSources(content, platform_->frontmostProcessId()));
        if (!rows.empty()) return {std::move(rows), SourceDiscovery::screenCapture, platform_->screenCapturePreflight(), {}};
        failure = std::make_exception_ptr(HalvexNativeError::sourceNotFound(
            "ScreenCaptureKit returned no shareable windows or displays. Screen Recording reports " +
            permissionState(platform_->screenCapturePreflight(), "granted", "denied") + " for " +
            processIdentityDescription() + "."));
    } catch (...) {
        failure = std::current_exception();
    }
    const auto detail = halvexDetailedError(failure);
    const bool preflight = platform_->screenCapturePreflight();
    auto rows = sortedSources(metadataFallbackSources());
    const auto identity = processIdentityDescription();
    if (rows.empty()) {
        throw HalvexNativeError::sourceNotFound(
            "ScreenCaptureKit could not enumerate sources and CoreGraphics returned nothing. Screen Recording is " +
            permissionState(preflight, "granted", "denied") + " for " + identity + ". Underlying error: " + detail);
    }
    halvexNativeLog("ScreenCaptureKit source enumeration failed (" + detail + "); returning " +
                    std::to_string(rows.size()) + " metadata-only sources.");
    return {std::move(rows), SourceDiscovery::metadataFallback, preflight,
            "ScreenCaptureKit could not list sources for " + identity + ": " + detail +
                ". These rows come from CoreGraphics window metadata and cannot be captured until Screen "
                "Recording is granted to Halvex Capture."};
}

std::optional<std::uint32_t> SourceCatalog::numericSourceID(const std::string& sourceID) {
    std::string last;
    std::size_t start = 0;
    while (start <= sourceID.size()) {
        const auto colon = sourceID.find(':', start);
        const auto end = colon == std::string::npos ? sourceID.size() : colon;
        if (end > start) last = sourceID.substr(start, end - start);
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    if (last.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : last) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > 0xFFFF'FFFFull) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

ResolvedCaptureSource SourceCatalog::resolve(const std::string& sourceType, const std::string& sourceID) const {
    const auto content = platform_->shareableContent(false, false);
    const auto number = numericSourceID(sourceID);
    if (!number) throw HalvexNativeError::sourceNotFound(sourceID);
    const auto type = lowercasedASCII(sourceType);
    const auto own = HalvexIdentity::runtimeBundleIdentifiers();

    ResolvedCaptureSource resolved;
    std::int64_t pixelWidth = 0;
    std::int64_t pixelHeight = 0;
    const auto pixels = [](double scale, double points) {
        const auto size = static_cast<std::int64_t>(scale * points);
        return size < 3 ? std::int64_t{2} : size;
    };
    if (type == SourceType::window) {
        const auto window = std::find_if(content.windows.begin(), content.windows.end(),
                                         [&](const ShareableWindow& w) { return w.windowId == *number; });
        if (window == content.windows.end()) throw HalvexNativeError::sourceNotFound(sourceID);
        if (window->owner && isOwnIdentifier(window->owner->bundleIdentifier, own)) {
            throw HalvexNativeError::invalidPayload(ownWindowMessage);
        }
        resolved.filter.kind = CaptureContentFilter::Kind::window;
        resolved.filter.windowId = window->windowId;
        resolved.filter.frame = window->frame;
        const double scale = std::max(platform_->pixelScale(resolved.filter), 1.0);
        pixelWidth = pixels(scale, window->frame.width);
        pixelHeight = pixels(scale, window->frame.height);
        resolved.source = windowRow(*window, content.displays, std::nullopt);
        resolved.source.width = pixelWidth;
        resolved.source.height = pixelHeight;
        resolved.source.isActive = true;
    } else if (type == SourceType::screen || type == "display") {
        const auto display = std::find_if(content.displays.begin(), content.displays.end(),
                                          [&](const ShareableDisplay& d) { return d.displayId == *number; });
        if (display == content.displays.end()) throw HalvexNativeError::sourceNotFound(sourceID);
        resolved.filter.kind = CaptureContentFilter::Kind::display;
        resolved.filter.displayId = display->displayId;
        resolved.filter.frame = display->frame;
        for (const auto& window : content.windows) {
            if (window.owner && isOwnIdentifier(window.owner->bundleIdentifier, own)) {
                resolved.filter.excludedWindowIds.push_back(window.windowId);
            }
        }
        const double scale = std::max(platform_->pixelScale(resolved.filter), 1.0);
        pixelWidth = pixels(scale, static_cast<double>(display->width));
        pixelHeight = pixels(scale, static_cast<double>(display->height));
        resolved.source = displayRow(*display, 1);
    } else {
        throw HalvexNativeError::invalidPayload(unknownTypeMessage);
    }
    std::tie(resolved.outputWidth, resolved.outputHeight) = fittedDimensions(pixelWidth, pixelHeight);
    return resolved;
}

std::vector<std::uint8_t> SourceCatalog::thumbnail(const std::string& sourceType, const std::string& sourceID,
                                                   std::int64_t maxWidth) const {
    const auto resolved = resolve(sourceType, sourceID);
    const auto [width, height] = thumbnailDimensions(resolved.outputWidth, resolved.outputHeight, maxWidth);
    const auto image = platform_->captureImage(resolved.filter, static_cast<int>(width), static_cast<int>(height));
    if (!image) throw HalvexNativeError::invalidPayload(encodingFailedMessage);
    auto jpeg = platform_->encodeJPEG(*image, previewJPEGQuality);
    if (jpeg.empty()) throw HalvexNativeError::invalidPayload(encodingFailedMessage);
    return jpeg;
}

}  // namespace halvex
