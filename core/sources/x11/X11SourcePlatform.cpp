#include "core/sources/x11/X11SourcePlatform.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "core/imaging/JPEGCodec.h"
#include "core/support/PlatformError.h"
#include "core/sources/x11/X11ApplicationIdentity.h"
#include "core/sources/x11/X11WindowList.h"

namespace halvex::x11 {
namespace {

std::optional<ShareableApplication> ownerOf(const X11ClientWindow& client) {
    return X11ApplicationIdentity::identify(client.processId, client.instanceName, client.className);
}

}  // namespace

std::shared_ptr<X11SourcePlatform> X11SourcePlatform::create(std::string displayName) {
    return std::shared_ptr<X11SourcePlatform>(new X11SourcePlatform(std::move(displayName)));
}

X11Connection& X11SourcePlatform::connection() {
    if (connection_ && !connection_->healthy()) connection_.reset();
    if (!connection_) connection_ = X11Connection::open(displayName_);
    connection_->discardEvents();
    return *connection_;
}

bool X11SourcePlatform::preflightLocked() {
    try {
        auto& x = connection();
        xcb_connection_t* c = x.get();
        auto* reply = xcb_get_image_reply(c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, x.root(), 0, 0, 1, 1, ~0u), nullptr);
        const bool readable = reply != nullptr;
        std::free(reply);
        return readable;
    } catch (const std::exception&) {
        return false;
    }
}

bool X11SourcePlatform::screenCapturePreflight() {
    std::lock_guard guard(lock_);
    return preflightLocked();
}

bool X11SourcePlatform::readsCoveredWindows() {
    std::lock_guard guard(lock_);
    try {
        return connection().hasComposite();
    } catch (const std::exception&) {
        return false;
    }
}

ShareableContent X11SourcePlatform::shareableContent(bool excludeDesktopWindows, bool onScreenWindowsOnly) {
    std::lock_guard guard(lock_);
    auto& x = connection();
    if (!preflightLocked()) {
        throw PlatformError("X11", 10, "The X server does not let this process read screen pixels.")
            .withReason("GetImage on the root window was refused.")
            .withRecovery("Run the helper as a trusted X client of the display.");
    }
    ShareableContent content;
    for (const auto& monitor : X11WindowList::monitors(x)) {
        content.displays.push_back({monitor.displayId, monitor.frame, static_cast<std::int64_t>(monitor.frame.width),
                                    static_cast<std::int64_t>(monitor.frame.height), monitor.name});
    }
    std::set<std::pair<std::string, std::optional<std::int32_t>>> seenApplications;
    applications_.clear();
    for (const auto& client : X11WindowList::clients(x, !onScreenWindowsOnly)) {
        if (excludeDesktopWindows && client.layer == X11WindowLayer::desktop) continue;
        ShareableWindow window;
        window.windowId = client.window;
        window.frame = client.frame;
        window.layer = client.layer;
        window.title = client.title;
        window.isOnScreen = client.viewable;
        window.owner = ownerOf(client);
        if (window.owner) {
            if (window.owner->processId) applications_[*window.owner->processId] = *window.owner;
            if (seenApplications.insert({window.owner->bundleIdentifier, window.owner->processId}).second) {
                content.applications.push_back(*window.owner);
            }
        }
        content.windows.push_back(std::move(window));
    }
    return content;
}

std::optional<WindowMetadata> X11SourcePlatform::windowMetadata() {
    std::lock_guard guard(lock_);
    try {
        auto& x = connection();
        WindowMetadata metadata;
        std::vector<MetadataDisplay> displays;
        for (const auto& monitor : X11WindowList::monitors(x)) {
            displays.push_back({monitor.displayId, monitor.frame, static_cast<std::int64_t>(monitor.frame.width),
                                static_cast<std::int64_t>(monitor.frame.height), monitor.name});
        }
        metadata.displays = std::move(displays);
        applications_.clear();
        for (const auto& client : X11WindowList::clients(x, false)) {
            if (client.layer == X11WindowLayer::desktop) continue;
            MetadataWindow window;
            window.layer = client.layer;
            window.number = client.window;
            window.bounds = client.frame;
            window.name = client.title;
            if (const auto owner = ownerOf(client)) {
                window.ownerName = owner->applicationName;
                window.ownerProcessId = owner->processId;
                if (owner->processId) applications_[*owner->processId] = *owner;
            }
            metadata.windows.push_back(std::move(window));
        }
        return metadata;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<ShareableApplication> X11SourcePlatform::runningApplication(std::int32_t processId) {
    std::lock_guard guard(lock_);
    if (const auto found = applications_.find(processId); found != applications_.end()) return found->second;
    return X11ApplicationIdentity::identify(processId, {}, {});
}

std::optional<std::int32_t> X11SourcePlatform::frontmostProcessId() {
    std::lock_guard guard(lock_);
    try {
        if (const auto active = X11WindowList::activeClient(connection())) {
            if (const auto owner = ownerOf(*active)) return owner->processId;
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

double X11SourcePlatform::pixelScale(const CaptureContentFilter&) { return 1; }

std::shared_ptr<PixelBuffer> X11SourcePlatform::captureImage(const CaptureContentFilter& filter, int width, int height) {
    std::lock_guard guard(lock_);
    auto& x = connection();
    std::shared_ptr<PixelBuffer> pixels;
    if (filter.kind == CaptureContentFilter::Kind::window) {
        pixels = reader_.readWindow(x, filter.windowId);
    } else {
        const auto monitors = X11WindowList::monitors(x);
        const auto monitor = std::find_if(monitors.begin(), monitors.end(),
                                          [&](const X11Monitor& m) { return m.displayId == filter.displayId; });
        if (monitor == monitors.end()) {
            throw PlatformError("X11", 0, "The display " + std::to_string(filter.displayId) + " is no longer connected.");
        }
        pixels = reader_.readScreenArea(x, monitor->frame);
    }
    auto image = scaler_.fitted(*pixels, width, height);
    if (!image) throw PlatformError("X11", 0, "The captured image could not be scaled.");
    return image;
}

std::vector<std::uint8_t> X11SourcePlatform::encodeJPEG(const PixelBuffer& image, double quality) {
    return JPEGCodec::encode(image, quality);
}

}  // namespace halvex::x11
