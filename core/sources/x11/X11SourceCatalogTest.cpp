#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/uio.h>
#include <xcb/randr.h>
#include <xcb/xcbext.h>

#include <csignal>
#include <cstdlib>
#include <functional>

#include "core/imaging/JPEGCodec.h"
#include "core/sources/SourceCatalog.h"
#include "core/sources/x11/X11ApplicationIdentity.h"
#include "core/sources/x11/X11PaintedWindow.h"
#include "core/sources/x11/X11SourcePlatform.h"
#include "core/sources/x11/X11WindowList.h"
#include "core/sources/x11/X11WindowProperties.h"
#include "core/support/HalvexNativeError.h"
#include "tests/support/FailureMessage.h"
#include "tests/support/XvfbServer.h"

namespace halvex::x11 {
namespace {

using Options = X11PaintedWindow::Options;

using testing::messageOf;

std::string notFound(const std::string& id) {
    return "Capture source " + id + " is no longer available. Refresh the source list and try again.";
}

// A test-side X client that edits the root window the way a window manager or xrandr would.
class RootEditor {
public:
    explicit RootEditor(const std::string& display) : connection_(xcb_connect(display.c_str(), nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    }
    ~RootEditor() { xcb_disconnect(connection_); }

    xcb_atom_t atom(const char* name) { return internAtom(connection_, name); }
    void setWindows(xcb_window_t window, const char* property, const std::vector<xcb_window_t>& values) {
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, atom(property), XCB_ATOM_WINDOW, 32,
                            static_cast<std::uint32_t>(values.size()), values.data());
        sync();
    }
    // Adds RandR 1.5 virtual monitors, as `xrandr --setmonitor` does. The request is built by
    // hand: libxcb-randr 1.15 miscounts SetMonitor's length and the connection closes.
    bool addMonitors(const std::vector<std::pair<std::string, xcb_rectangle_t>>& monitors) {
        std::free(xcb_randr_query_version_reply(connection_, xcb_randr_query_version(connection_, 1, 5), nullptr));
        for (const auto& [name, area] : monitors) {
            struct {
                std::uint8_t major, minor;
                std::uint16_t length;
                std::uint32_t window;
            } header{0, XCB_RANDR_SET_MONITOR, 0, root_};
            xcb_randr_monitor_info_t info{};
            info.name = atom(name.c_str());
            info.x = area.x;
            info.y = area.y;
            info.width = area.width;
            info.height = area.height;
            info.width_in_millimeters = area.width / 4u;
            info.height_in_millimeters = area.height / 4u;
            iovec parts[4];
            parts[2] = {&header, sizeof header};
            parts[3] = {&info, sizeof info};
            xcb_protocol_request_t request{2, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
            const xcb_void_cookie_t cookie{xcb_send_request(connection_, XCB_REQUEST_CHECKED, parts + 2, &request)};
            if (auto* error = xcb_request_check(connection_, cookie)) {
                std::free(error);
                return false;
            }
            if (xcb_connection_has_error(connection_)) return false;
        }
        return true;
    }
    void sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }
    xcb_window_t root() const { return root_; }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
};

class X11CatalogFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(xvfb.running());
        // Connect first, so Composite redirection is on before the test's windows are drawn.
        catalog.listSources();
    }
    std::unique_ptr<X11PaintedWindow> window(Options options) {
        auto made = X11PaintedWindow::create(xvfb.display(), options);
        EXPECT_TRUE(made);
        return made;
    }
    const NativeCaptureSource* row(const SourceCatalog::Listing& listing, xcb_window_t id) {
        for (const auto& source : listing.sources) {
            if (source.id == "window:" + std::to_string(id)) return &source;
        }
        return nullptr;
    }

    testing::XvfbServer xvfb{1920, 1080, 24};
    std::shared_ptr<X11SourcePlatform> platform = X11SourcePlatform::create(xvfb.display());
    SourceCatalog catalog{platform};
};

TEST_F(X11CatalogFixture, ListsOrdinaryWindowsOfABareServerWithTheirOwners) {
    const auto pid = static_cast<std::uint32_t>(::getpid());
    auto narrow = window({.width = 119, .height = 300, .title = "narrow", .instanceName = "n", .className = "Narrow"});
    auto square = window({.width = 120, .height = 120, .title = "square", .instanceName = "s", .className = "Square", .processId = pid});
    auto spaces = window({.x = 50, .y = 60, .width = 300, .height = 200, .title = "   ", .instanceName = "navigator", .className = "Firefox"});
    auto legacy = window({.width = 300, .height = 200, .legacyTitle = "Caf\xE9", .instanceName = "ed", .className = "Editor"});
    auto both = window({.width = 300, .height = 200, .title = "Unicode \u25B2", .legacyTitle = "old", .instanceName = "x", .className = "X"});
    auto dock = window({.width = 1920, .height = 200, .title = "panel", .className = "Panel", .windowType = "_NET_WM_WINDOW_TYPE_DOCK"});
    auto popup = window({.width = 300, .height = 300, .title = "menu", .className = "Menu", .overrideRedirect = true});
    auto own = window({.width = 300, .height = 300, .title = "Halvex", .instanceName = "halvex", .className = "Halvex"});
    auto electron = window({.width = 300, .height = 300, .title = "dev", .instanceName = "electron", .className = "Electron"});
    auto hidden = window({.width = 300, .height = 300, .title = "hidden", .className = "Hidden", .mapped = false});
    auto bare = window({.width = 300, .height = 300});

    const auto listing = catalog.listSources();
    EXPECT_EQ(listing.discovery, "screencapturekit");
    EXPECT_TRUE(listing.screenPermission);
    ASSERT_GE(listing.sources.size(), 1u);
    EXPECT_EQ(listing.sources[0].type, "screen");
    EXPECT_EQ(listing.sources[0].width, 1920);
    EXPECT_EQ(listing.sources[0].appName, "System");
    for (const auto* absent : {narrow.get(), dock.get(), popup.get(), own.get(), electron.get(), hidden.get()}) {
        EXPECT_EQ(row(listing, absent->id()), nullptr) << absent->id();
    }
    const auto* squareRow = row(listing, square->id());
    ASSERT_TRUE(squareRow);
    EXPECT_EQ(squareRow->name, "square");
    EXPECT_EQ(squareRow->appName, "Square");
    EXPECT_EQ(squareRow->bundleId, "");
    EXPECT_EQ(squareRow->width, 120);
    EXPECT_TRUE(squareRow->isCapturable);
    EXPECT_TRUE(squareRow->isOnScreen);
    EXPECT_FALSE(squareRow->isActive);  // its process is known, no window is focused
    const auto* spacesRow = row(listing, spaces->id());
    ASSERT_TRUE(spacesRow);
    EXPECT_EQ(spacesRow->name, "Firefox Window");
    EXPECT_EQ(spacesRow->bundleId, "org.mozilla.firefox");
    EXPECT_EQ(spacesRow->x, 50);
    EXPECT_EQ(spacesRow->y, 60);
    EXPECT_EQ(spacesRow->displayId, listing.sources[0].nativeId);
    EXPECT_TRUE(spacesRow->isActive);  // neither owner process nor focus known
    EXPECT_EQ(row(listing, legacy->id())->name, "Caf\u00E9");
    EXPECT_EQ(row(listing, both->id())->name, "Unicode \u25B2");
    const auto* bareRow = row(listing, bare->id());
    ASSERT_TRUE(bareRow);
    EXPECT_EQ(bareRow->appName, "Application");
    EXPECT_EQ(bareRow->name, "Application Window");
}

TEST_F(X11CatalogFixture, SortsScreensThenTradingViewThenNamesIgnoringCase) {
    auto b = window({.width = 200, .height = 200, .title = "beta", .className = "B"});
    auto a = window({.width = 200, .height = 200, .title = "Alpha", .className = "A"});
    auto chart = window({.width = 200, .height = 200, .title = "zz chart", .instanceName = "tradingview", .className = "TradingView"});
    auto c = window({.width = 200, .height = 200, .title = "Gamma", .className = "C"});
    const auto listing = catalog.listSources();
    std::vector<std::string> names;
    for (const auto& source : listing.sources) names.push_back(source.type + " " + source.name);
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0].substr(0, 7), "screen ");
    EXPECT_EQ(std::vector<std::string>(names.begin() + 1, names.end()),
              (std::vector<std::string>{"window zz chart", "window Alpha", "window beta", "window Gamma"}));
    EXPECT_EQ(listing.sources[1].bundleId, "com.tradingview.tradingviewapp.desktop");
}

TEST_F(X11CatalogFixture, PlacesAStraddlingWindowOnTheMonitorHoldingItsCentre) {
    RootEditor editor(xvfb.display());
    // Xvfb keeps its own whole-screen monitor "screen" after these two.
    ASSERT_TRUE(editor.addMonitors({{"LEFT-1", {0, 0, 960, 1080}}, {"RIGHT-1", {960, 0, 960, 1080}}}));
    auto straddling = window({.x = 800, .y = 100, .width = 500, .height = 300, .title = "straddling", .className = "S"});
    auto mostlyLeft = window({.x = 700, .y = 500, .width = 500, .height = 300, .title = "left", .className = "S"});
    auto offScreen = window({.x = 1700, .y = 900, .width = 400, .height = 400, .title = "off", .className = "S"});
    const auto listing = catalog.listSources();
    ASSERT_EQ(listing.sources.size(), 6u);
    EXPECT_EQ(listing.sources[0].name, "LEFT-1");
    EXPECT_EQ(listing.sources[1].name, "RIGHT-1");
    EXPECT_EQ(listing.sources[2].name, "screen");
    EXPECT_EQ(listing.sources[1].x, 960);
    EXPECT_EQ(listing.sources[1].width, 960);
    EXPECT_EQ(listing.sources[1].id, "screen:" + std::to_string(X11WindowList::stableIdentifier("RIGHT-1")));
    const auto left = listing.sources[0].nativeId;
    const auto right = listing.sources[1].nativeId;
    EXPECT_EQ(row(listing, straddling->id())->displayId, right);
    EXPECT_EQ(row(listing, mostlyLeft->id())->displayId, left);
    // Its centre (1900, 1100) is below every monitor; RIGHT-1 is the first of those overlapping most.
    EXPECT_EQ(row(listing, offScreen->id())->displayId, right);
    const auto display = catalog.resolve("display", listing.sources[1].id);
    EXPECT_EQ(display.source.name, "RIGHT-1");
    EXPECT_EQ(display.outputWidth, 960);
    EXPECT_EQ(display.outputHeight, 1080);
    EXPECT_EQ(display.filter.frame, (SourceRect{960, 0, 960, 1080}));
}

TEST_F(X11CatalogFixture, FollowsAWindowManagersStackingAndFocus) {
    auto first = window({.width = 200, .height = 200, .title = "same", .className = "One", .processId = 4'000'000});
    auto second = window({.width = 200, .height = 200, .title = "same", .className = "Two",
                          .processId = static_cast<std::uint32_t>(::getpid())});
    auto unmanaged = window({.width = 200, .height = 200, .title = "unmanaged", .className = "U"});
    auto check = window({.width = 1, .height = 1, .mapped = false});
    RootEditor editor(xvfb.display());
    editor.setWindows(check->id(), "_NET_SUPPORTING_WM_CHECK", {check->id()});
    editor.setWindows(editor.root(), "_NET_SUPPORTING_WM_CHECK", {check->id()});
    // Bottom to top: `second` is above `first`, so it comes first among equal names.
    editor.setWindows(editor.root(), "_NET_CLIENT_LIST_STACKING", {first->id(), second->id()});
    editor.setWindows(editor.root(), "_NET_ACTIVE_WINDOW", {second->id()});
    const auto listing = catalog.listSources();
    ASSERT_EQ(listing.sources.size(), 3u);
    EXPECT_EQ(listing.sources[1].id, "window:" + std::to_string(second->id()));
    EXPECT_EQ(listing.sources[2].id, "window:" + std::to_string(first->id()));
    EXPECT_TRUE(listing.sources[1].isActive);
    EXPECT_FALSE(listing.sources[2].isActive);  // a process id that does not exist here counts as unknown
    EXPECT_EQ(platform->frontmostProcessId(), ::getpid());
}

TEST_F(X11CatalogFixture, ResolvesByIdInEveryWrittenForm) {
    auto target = window({.width = 640, .height = 360, .title = "target", .className = "T"});
    auto own = window({.width = 300, .height = 300, .title = "Halvex", .instanceName = "halvex", .className = "Halvex"});
    const auto number = std::to_string(target->id());
    for (const auto& [type, id] : std::vector<std::pair<std::string, std::string>>{
             {"window", "window:" + number}, {"window", number}, {"WINDOW", "x:" + number}, {"Window", "window:" + number + ":"}}) {
        const auto resolved = catalog.resolve(type, id);
        EXPECT_EQ(resolved.source.id, "window:" + number) << id;
        EXPECT_EQ(resolved.outputWidth, 640);
        EXPECT_EQ(resolved.outputHeight, 360);
        EXPECT_TRUE(resolved.source.isActive);
    }
    const auto screens = catalog.listSources().sources.front();
    EXPECT_EQ(catalog.resolve("display", screens.id).source, catalog.resolve("screen", screens.id).source);
    EXPECT_EQ(catalog.resolve("SCREEN", std::to_string(screens.nativeId)).filter.kind, CaptureContentFilter::Kind::display);
    EXPECT_EQ(messageOf([&] { catalog.resolve("window", "window:" + std::to_string(own->id())); }),
              "Invalid payload: Halvex cannot record its own window.");
    EXPECT_EQ(messageOf([&] { catalog.thumbnail("window", std::to_string(own->id()), 320); }),
              "Invalid payload: Halvex cannot record its own window.");
}

TEST_F(X11CatalogFixture, BadRequestsAreClearErrors) {
    auto target = window({.width = 300, .height = 300, .title = "target", .className = "T"});
    const auto id = "window:" + std::to_string(target->id());
    EXPECT_EQ(messageOf([&] { catalog.resolve("tab", id); }), "Invalid payload: sourceType must be 'window' or 'screen'.");
    EXPECT_EQ(messageOf([&] { catalog.resolve("", id); }), "Invalid payload: sourceType must be 'window' or 'screen'.");
    for (const std::string bad : {"window:abc", "window:", "", "window:-3", "window:99999999999"}) {
        EXPECT_EQ(messageOf([&] { catalog.resolve("window", bad); }), notFound(bad)) << bad;
        EXPECT_EQ(messageOf([&] { catalog.thumbnail("window", bad, 320); }), notFound(bad)) << bad;
    }
    EXPECT_EQ(messageOf([&] { catalog.resolve("window", "window:12345"); }), notFound("window:12345"));
    EXPECT_EQ(messageOf([&] { catalog.resolve("screen", "screen:12345"); }), notFound("screen:12345"));
    // A window that goes between resolving and reading its pixels.
    const auto resolved = catalog.resolve("window", id);
    target.reset();
    EXPECT_EQ(messageOf([&] { catalog.resolve("window", id); }), notFound(id));
    EXPECT_NE(messageOf([&] { platform->captureImage(resolved.filter, 64, 64); }).find("no longer exists"), std::string::npos);
}

TEST_F(X11CatalogFixture, ThumbnailShowsTheWindowsOwnColoursAtThePreviewSize) {
    auto painted = window({.x = 100, .y = 100, .width = 400, .height = 300, .title = "painted", .className = "P",
                           .colours = {0xFF0000, 0x0000FF}});
    const auto check = [&](const std::string& label) {
        const auto jpeg = catalog.thumbnail("window", std::to_string(painted->id()), 200);
        const auto image = JPEGCodec::decode(jpeg);
        ASSERT_TRUE(image) << label;
        EXPECT_EQ(image->width(), 200) << label;
        EXPECT_EQ(image->height(), 150) << label;
        const std::uint8_t* left = image->row(75) + 40 * 4;
        const std::uint8_t* right = image->row(75) + 160 * 4;
        EXPECT_NEAR(left[2], 255, 16) << label;  // red
        EXPECT_NEAR(left[0], 0, 16) << label;
        EXPECT_NEAR(right[0], 255, 16) << label;  // blue
        EXPECT_NEAR(right[2], 0, 16) << label;
    };
    check("uncovered");
    if (!platform->readsCoveredWindows()) GTEST_SKIP() << "no Composite on this server";
    auto cover = window({.x = 50, .y = 50, .width = 600, .height = 500, .title = "cover", .className = "C",
                         .colours = {0x00FF00}});
    cover->raise();
    check("covered");
    // The screen itself shows the cover where the window is.
    const auto screen = catalog.listSources().sources.front();
    const auto image = JPEGCodec::decode(catalog.thumbnail("screen", screen.id, 1920));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 1920);
    EXPECT_EQ(image->height(), 1080);
    const std::uint8_t* middle = image->row(250) + 300 * 4;
    EXPECT_NEAR(middle[1], 255, 16);
    EXPECT_NEAR(middle[2], 0, 16);
}

TEST(X11CatalogWithoutServer, ListingWithoutAnyDisplayIsTheCouldNotEnumerateError) {
    SourceCatalog catalog{X11SourcePlatform::create(":4095")};
    const auto message = messageOf([&] { catalog.listSources(); });
    EXPECT_TRUE(message.starts_with("Capture source ScreenCaptureKit could not enumerate sources and CoreGraphics "
                                    "returned nothing. Screen Recording is denied for "))
        << message;
    EXPECT_NE(message.find("Underlying error: X11 1: The X server connection failed"), std::string::npos) << message;
    EXPECT_EQ(messageOf([&] { catalog.resolve("window", "window:1"); }), "The X server connection failed or was closed.");
    EXPECT_FALSE(catalog.platform().screenCapturePreflight());
}

TEST(X11CatalogWithoutServer, ADeadConnectionIsAClearErrorNotACrash) {
    std::signal(SIGPIPE, SIG_IGN);  // as the helper does: writes to a dead server must not kill the process
    testing::XvfbServer xvfb(800, 600);
    ASSERT_TRUE(xvfb.running());
    const auto display = xvfb.display();
    auto platform = X11SourcePlatform::create(display);
    SourceCatalog catalog{platform};
    auto target = X11PaintedWindow::create(display, {.width = 300, .height = 300, .title = "t", .className = "T"});
    ASSERT_TRUE(target);
    const auto resolved = catalog.resolve("window", std::to_string(target->id()));
    ASSERT_EQ(catalog.listSources().sources.size(), 2u);
    target.reset();
    // The catalog reconnects after a loss; another test's server must not answer on this number.
    if (!xvfb.stopAndHoldDisplayNumber()) GTEST_SKIP() << "another server took " << display << " at once";
    EXPECT_TRUE(messageOf([&] { catalog.listSources(); }).find("could not enumerate") != std::string::npos);
    EXPECT_NE(messageOf([&] { catalog.thumbnail("window", resolved.source.id, 320); }), "no error");
    EXPECT_NE(messageOf([&] { platform->captureImage(resolved.filter, 64, 64); }), "no error");
    EXPECT_EQ(platform->frontmostProcessId(), std::nullopt);
}

TEST(X11ApplicationIdentity, MapsWellKnownClassesAndWebApps) {
    using namespace X11ApplicationIdentity;
    EXPECT_EQ(wellKnownBundleIdentifier("google-chrome", "Google-chrome"), "com.google.chrome");
    EXPECT_EQ(wellKnownBundleIdentifier("crx_abcdef", "Google-chrome"), "com.google.chrome.app.abcdef");
    EXPECT_EQ(wellKnownBundleIdentifier("crx_abcdef", "Firefox"), "org.mozilla.firefox");
    EXPECT_EQ(wellKnownBundleIdentifier("Navigator", "firefox"), "org.mozilla.firefox");
    EXPECT_EQ(wellKnownBundleIdentifier("tradingview", "TradingView"), "com.tradingview.tradingviewapp.desktop");
    EXPECT_EQ(wellKnownBundleIdentifier("electron", "Electron"), "com.github.Electron");
    EXPECT_EQ(wellKnownBundleIdentifier("gedit", "Gedit"), std::nullopt);
    const auto self = identify(::getpid(), "", "");
    ASSERT_TRUE(self);
    EXPECT_EQ(self->processId, ::getpid());
    EXPECT_FALSE(self->applicationName.empty());
    EXPECT_EQ(identify(std::nullopt, "", ""), std::nullopt);
    EXPECT_EQ(identify(4'000'000, "", ""), std::nullopt);
    EXPECT_EQ(flatpakApplicationID(::getpid()), std::nullopt);
}

}  // namespace
}  // namespace halvex::x11
