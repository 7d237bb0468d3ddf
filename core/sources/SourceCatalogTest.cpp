#include <gtest/gtest.h>

#include "tests/support/FailureMessage.h"

#include <functional>

#include "core/sources/SourceCatalog.h"
#include "core/support/HalvexNativeError.h"
#include "core/support/PlatformError.h"

namespace halvex {
namespace {

ShareableWindow makeWindow(std::uint32_t id, const std::string& title, SourceRect frame, const std::string& bundleId = "",
                           const std::string& appName = "App", std::optional<std::int32_t> pid = 100) {
    ShareableWindow window;
    window.windowId = id;
    window.title = title;
    window.frame = frame;
    window.isOnScreen = true;
    window.owner = ShareableApplication{bundleId, appName, pid};
    return window;
}

ShareableDisplay makeDisplay(std::uint32_t id, SourceRect frame, std::optional<std::string> name = std::nullopt) {
    return {id, frame, static_cast<std::int64_t>(frame.width), static_cast<std::int64_t>(frame.height), name};
}

using testing::messageOf;

class CatalogFixture : public ::testing::Test {
protected:
    std::shared_ptr<FakeSourcePlatform> platform = std::make_shared<FakeSourcePlatform>();
    SourceCatalog catalog{platform};
};

TEST(SourceCatalogSizes, FittedDimensionsKeepTheLimits) {
    const struct {
        std::int64_t width, height, expectedWidth, expectedHeight;
    } cases[] = {
        {3024, 1964, 3024, 1964}, {5120, 2880, 3840, 2160}, {3840, 3840, 3072, 3072}, {1, 1, 2, 2},
        {0, -5, 2, 2},            {7681, 3, 3840, 2},       {1001, 501, 1000, 500},  {1920, 1080, 1920, 1080},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SourceCatalog::fittedDimensions(c.width, c.height), std::make_pair(c.expectedWidth, c.expectedHeight))
            << c.width << "x" << c.height;
    }
}

TEST(SourceCatalogSizes, ThumbnailSizeFollowsTheRequestedWidth) {
    const struct {
        std::int64_t width, height, maxWidth, expectedWidth, expectedHeight;
    } cases[] = {
        {3024, 1964, 320, 320, 208}, {3024, 1964, 10, 64, 64},   {3024, 1964, 480, 480, 312},
        {200, 100, 480, 200, 100},   {1000, 130, 480, 480, 64},  {101, 201, 1920, 100, 200},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SourceCatalog::thumbnailDimensions(c.width, c.height, c.maxWidth),
                  std::make_pair(c.expectedWidth, c.expectedHeight))
            << c.width << "x" << c.height << " at " << c.maxWidth;
    }
}

TEST(SourceCatalogSizes, NumericSourceIDsTakeTheLastNonEmptyPart) {
    EXPECT_EQ(SourceCatalog::numericSourceID("window:123"), 123u);
    EXPECT_EQ(SourceCatalog::numericSourceID("123"), 123u);
    EXPECT_EQ(SourceCatalog::numericSourceID("x:123"), 123u);
    EXPECT_EQ(SourceCatalog::numericSourceID("window:123::"), 123u);
    EXPECT_EQ(SourceCatalog::numericSourceID("00000000004294967295"), 4294967295u);
    for (const char* bad : {"", ":", "window:", "window:abc", "window:-1", "4294967296", "12a", "window: 12", "1e3",
                            "99999999999999999999999"}) {
        EXPECT_EQ(SourceCatalog::numericSourceID(bad), std::nullopt) << bad;
    }
}

TEST_F(CatalogFixture, ListsDisplaysAndOrdinaryWindowsSorted) {
    platform->onScreenContent.displays = {makeDisplay(7, {0, 0, 1000, 800}, "Left"),
                                          makeDisplay(8, {1000, 0, 1000, 800})};
    auto chrome = makeWindow(20, "Dock", {0, 0, 500, 500}, "com.apple.dock");
    auto panel = makeWindow(21, "Panel", {0, 0, 500, 500});
    panel.layer = 20;
    auto unowned = makeWindow(22, "", {0, 0, 300, 300});
    unowned.owner.reset();
    platform->onScreenContent.windows = {
        makeWindow(10, "zeta", {0, 0, 120, 120}),
        makeWindow(11, "narrow", {0, 0, 119, 500}),
        makeWindow(12, "   ", {0, 0, 400, 300}, "", "Editor"),
        makeWindow(13, "Chart", {1, 2, 400.5, 300.4}, "com.tradingview.tradingviewapp.desktop", "TradingView"),
        makeWindow(14, "Alpha", {900, 0, 300, 100 + 200}),  // centre at x 1050: the right display
        makeWindow(15, "beta", {-500, 900, 600, 200}),      // centre off every display: most overlap
        makeWindow(16, "own", {0, 0, 500, 500}, "com.halvex.desktop"),
        makeWindow(17, "electron", {0, 0, 500, 500}, "com.github.Electron"),
        chrome, panel, unowned,
    };
    platform->frontmost = 100;
    const auto listing = catalog.listSources();
    EXPECT_EQ(listing.discovery, "screencapturekit");
    EXPECT_FALSE(listing.warning);
    std::vector<std::string> ids;
    for (const auto& row : listing.sources) ids.push_back(row.id + " " + row.name);
    EXPECT_EQ(ids, (std::vector<std::string>{"screen:7 Left", "screen:8 Screen 2", "window:13 Chart", "window:14 Alpha",
                                             "window:22 Application Window", "window:15 beta", "window:12 Editor Window",
                                             "window:10 zeta"}));
    const auto& chart = listing.sources[2];
    EXPECT_EQ(chart.width, 401);
    EXPECT_EQ(chart.height, 300);
    EXPECT_EQ(chart.displayId, 7u);
    EXPECT_TRUE(chart.isActive);
    EXPECT_EQ(listing.sources[3].displayId, 8u);
    EXPECT_EQ(listing.sources[5].displayId, 7u);
    EXPECT_FALSE(listing.sources[4].isActive);  // no owner process, while the frontmost one is known
    EXPECT_EQ(platform->lastExcludeDesktopWindows, true);
    EXPECT_EQ(platform->lastOnScreenWindowsOnly, true);
}

TEST_F(CatalogFixture, FallsBackToMetadataWhenPixelsCannotBeRead) {
    platform->contentError = std::make_exception_ptr(PlatformError("X11", 10, "refused"));
    platform->preflight = false;
    WindowMetadata metadata;
    metadata.displays = std::vector<MetadataDisplay>{{5, {0, 0, 800, 600}, 1600, 1200, std::nullopt}};
    metadata.windows = {
        {0, 30u, std::string("proc"), SourceRect{10, 10, 300, 200}, 42, std::string(" Notes ")},
        {std::nullopt, 31u, std::string("proc"), SourceRect{10, 10, 300, 200}, std::nullopt, std::nullopt},
        {3, 32u, std::string("proc"), SourceRect{10, 10, 300, 200}, 42, std::string("floating")},
        {0, 33u, std::string(""), SourceRect{10, 10, 300, 200}, 42, std::string("nameless owner")},
        {0, 34u, std::string("halvex"), SourceRect{10, 10, 300, 200}, 43, std::string("own")},
    };
    platform->metadata = metadata;
    platform->applications[42] = {"org.example.notes", "Notes App", 42};
    platform->applications[43] = {"com.halvex.desktop", "Halvex", 43};
    const auto listing = catalog.listSources();
    EXPECT_EQ(listing.discovery, "coregraphics-fallback");
    ASSERT_EQ(listing.sources.size(), 3u);
    EXPECT_EQ(listing.sources[0].id, "screen:5");
    EXPECT_EQ(listing.sources[0].width, 1600);
    EXPECT_FALSE(listing.sources[0].isCapturable);
    EXPECT_EQ(listing.sources[0].discovery, "coregraphics");
    EXPECT_EQ(listing.sources[1].name, "Notes");
    EXPECT_EQ(listing.sources[1].appName, "Notes App");
    EXPECT_EQ(listing.sources[1].bundleId, "org.example.notes");
    EXPECT_EQ(listing.sources[1].displayId, std::nullopt);
    EXPECT_FALSE(listing.sources[1].isActive);
    EXPECT_EQ(listing.sources[2].name, "proc Window");
    EXPECT_TRUE(listing.sources[2].isActive);  // owner and frontmost both unknown
    const std::string identity = SourceCatalog::processIdentityDescription();
    EXPECT_EQ(listing.warning, "ScreenCaptureKit could not list sources for " + identity +
                                   ": X11 10: refused. These rows come from CoreGraphics window metadata and cannot be "
                                   "captured until Screen Recording is granted to Halvex Capture.");
}

TEST_F(CatalogFixture, NothingListedAnywhereIsSourceNotFound) {
    platform->preflight = true;
    const auto message = messageOf([&] { catalog.listSources(); });
    EXPECT_EQ(message, "Capture source ScreenCaptureKit could not enumerate sources and CoreGraphics returned nothing. "
                       "Screen Recording is granted for " +
                           SourceCatalog::processIdentityDescription() +
                           ". Underlying error: HalvexNativeError 1: Capture source ScreenCaptureKit returned no "
                           "shareable windows or displays. Screen Recording reports granted for " +
                           SourceCatalog::processIdentityDescription() +
                           ". is no longer available. Refresh the source list and try again. is no longer available. "
                           "Refresh the source list and try again.");
}

TEST_F(CatalogFixture, ResolvesWindowsAndDisplaysByTypeAndNumber) {
    ShareableContent all;
    all.displays = {makeDisplay(1, {0, 0, 5120, 2880}, "Wide")};
    all.windows = {makeWindow(123, "Editor", {10, 20, 1512, 982}), makeWindow(9, "own", {0, 0, 500, 500}, "com.halvex.desktop")};
    all.windows[0].layer = 3;  // resolving does not filter by layer
    platform->allContent = all;
    for (const auto& [type, id] : std::vector<std::pair<std::string, std::string>>{
             {"window", "window:123"}, {"window", "123"}, {"WINDOW", "x:123"}}) {
        const auto resolved = catalog.resolve(type, id);
        EXPECT_EQ(resolved.source.id, "window:123");
        EXPECT_EQ(resolved.filter.kind, CaptureContentFilter::Kind::window);
        EXPECT_EQ(resolved.filter.windowId, 123u);
        EXPECT_TRUE(resolved.source.isActive);
        EXPECT_EQ(resolved.outputWidth, 1512);
        EXPECT_EQ(resolved.outputHeight, 982);
    }
    EXPECT_EQ(platform->lastOnScreenWindowsOnly, false);
    EXPECT_EQ(platform->lastExcludeDesktopWindows, false);
    platform->scale = 2;
    const auto scaled = catalog.resolve("window", "window:123");
    EXPECT_EQ(scaled.outputWidth, 3024);
    EXPECT_EQ(scaled.outputHeight, 1964);
    EXPECT_EQ(scaled.source.width, 3024);
    platform->scale = 0.5;  // never below one pixel per point
    const auto display = catalog.resolve("display", "screen:1");
    EXPECT_EQ(display.source.id, "screen:1");
    EXPECT_EQ(display.source.name, "Wide");
    EXPECT_EQ(display.filter.kind, CaptureContentFilter::Kind::display);
    EXPECT_EQ(display.filter.excludedWindowIds, std::vector<std::uint32_t>{9});
    EXPECT_EQ(display.outputWidth, 3840);
    EXPECT_EQ(display.outputHeight, 2160);
}

TEST_F(CatalogFixture, RefusesWhatCannotBeResolvedWithTheProtocolsMessages) {
    ShareableContent all;
    all.displays = {makeDisplay(1, {0, 0, 800, 600})};
    all.windows = {makeWindow(9, "own", {0, 0, 500, 500}, "com.halvex.desktop")};
    platform->allContent = all;
    const auto notFound = [](const std::string& id) {
        return "Capture source " + id + " is no longer available. Refresh the source list and try again.";
    };
    EXPECT_EQ(messageOf([&] { catalog.resolve("window", "window:9"); }), "Invalid payload: Halvex cannot record its own window.");
    EXPECT_EQ(messageOf([&] { catalog.resolve("window", "window:10"); }), notFound("window:10"));
    EXPECT_EQ(messageOf([&] { catalog.resolve("screen", "screen:2"); }), notFound("screen:2"));
    EXPECT_EQ(messageOf([&] { catalog.resolve("tab", "window:9"); }), "Invalid payload: sourceType must be 'window' or 'screen'.");
    // The id is read before the type is looked at.
    EXPECT_EQ(messageOf([&] { catalog.resolve("tab", "window:nine"); }), notFound("window:nine"));
    platform->contentError = std::make_exception_ptr(PlatformError("X11", 1, "The X server connection failed."));
    EXPECT_EQ(messageOf([&] { catalog.resolve("window", "window:9"); }), "The X server connection failed.");
}

TEST_F(CatalogFixture, ThumbnailAsksForThePreviewSizeAndEncodesAtQuality70) {
    ShareableContent all;
    all.windows = {makeWindow(5, "Big", {0, 0, 3024, 1964})};
    platform->allContent = all;
    EXPECT_EQ(catalog.thumbnail("window", "5", 320), platform->jpeg);
    EXPECT_EQ(platform->lastCaptureWidth, 320);
    EXPECT_EQ(platform->lastCaptureHeight, 208);
    EXPECT_EQ(platform->lastQuality, 0.7);
    platform->jpeg.clear();
    EXPECT_EQ(messageOf([&] { catalog.thumbnail("window", "5", 320); }), "Invalid payload: Could not encode the source preview.");
    platform->captureError = std::make_exception_ptr(PlatformError("X11", 3, "The window 0x5 no longer exists."));
    EXPECT_EQ(messageOf([&] { catalog.thumbnail("window", "5", 320); }), "The window 0x5 no longer exists.");
}

TEST(SourceRecords, EncodeAndDecodeWithTheProtocolsKeys) {
    NativeCaptureSource source{"window:3", "window", "Name", "App", "", 3, 1.5, -2, 640, 480, std::nullopt,
                               true, false, true, "screencapturekit"};
    const auto json = toJSON(source);
    EXPECT_FALSE(json.contains("displayId"));
    EXPECT_EQ(json.size(), 14u);
    EXPECT_EQ(nativeCaptureSourceFromJSON(json), source);
    source.displayId = 4294967295u;
    SourceCatalogListing listing{{source}, "coregraphics-fallback", false, std::string("careful")};
    EXPECT_EQ(sourceCatalogListingFromJSON(toJSON(listing)), listing);
    auto broken = toJSON(source);
    broken.erase("isActive");
    EXPECT_THROW(nativeCaptureSourceFromJSON(broken), std::invalid_argument);
    broken = toJSON(source);
    broken["nativeId"] = -1;
    EXPECT_THROW(nativeCaptureSourceFromJSON(broken), std::invalid_argument);
}

}  // namespace
}  // namespace halvex
