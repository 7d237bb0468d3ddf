#include "core/capture/x11/X11CaptureStream.h"

#include <sys/socket.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <optional>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "core/capture/x11/FramePacer.h"
#include "core/capture/x11/FrameFitter.h"
#include "core/capture/x11/X11CursorOverlay.h"
#include "core/sources/x11/X11Connection.h"
#include "core/sources/x11/X11ImageReader.h"
#include "core/support/DetailedError.h"
#include "core/support/NativeLog.h"
#include "core/support/PlatformError.h"

namespace halvex::x11 {
namespace {

using Clock = FramePacer::Clock;

constexpr std::int32_t nanosecondTimescale = 1'000'000'000;
constexpr int badWindow = 3;
// How long stop() waits for the capture thread before it cuts the connection under a request the
// server never answers.
constexpr auto stopPatience = std::chrono::seconds(2);
// ICCCM WM_STATE values: a window manager removes the property or writes "withdrawn" once a
// client has withdrawn its window; "normal" and "iconic" windows are still managed.
constexpr std::uint32_t withdrawnState = 0;

constexpr const char* windowIdField = "windowId";
constexpr const char* displayIdField = "displayId";
constexpr const char* windowClosedText = " being captured was closed.";
constexpr const char* windowWithdrawnText = " being captured was hidden and not shown again.";
constexpr const char* windowMissingText = " does not exist.";
constexpr const char* connectionBrokenText = "The connection to the X server broke during capture.";
constexpr const char* connectionBrokenRecovery = "Check that the X server is still running, then start the capture again.";
constexpr const char* alreadyStartedText = "The capture stream was already started.";
constexpr const char* pixelFormatText = "The X11 capture stream delivers BGRA frames only.";
constexpr const char* outputSizeText = "The capture stream has no output size.";

std::string hexId(std::uint32_t id) {
    std::ostringstream text;
    text << "0x" << std::hex << id;
    return text.str();
}

template <typename T>
struct Reply {
    T* value = nullptr;
    Reply() = default;
    explicit Reply(T* pointer) : value(pointer) {}
    ~Reply() { std::free(value); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    T* operator->() const { return value; }
    explicit operator bool() const { return value != nullptr; }
};

void fillBlack(X11PixelView& view, int left, int top, int width, int height) {
    const int x0 = std::max(0, left);
    const int y0 = std::max(0, top);
    const int x1 = std::min(view.width, left + width);
    const int y1 = std::min(view.height, top + height);
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* row = view.pixels + static_cast<std::size_t>(y) * view.bytesPerRow;
        std::fill(row + static_cast<std::size_t>(x0) * 4, row + static_cast<std::size_t>(std::max(x0, x1)) * 4, 0);
    }
}

// Hands samples to the frame handler until closed. Closing waits for a delivery running on another
// thread, so nothing reaches the handler once close() has returned. The capture thread only reads
// the open flag, so a slow handler never holds it up.
class FrameGate {
public:
    explicit FrameGate(CaptureStreamFactory::FrameHandler handler) : handler_(std::move(handler)) {}

    void deliver(const SampleBuffer& sample) {
        std::lock_guard guard(lock_);
        if (!open_.load() || !handler_) return;
        delivering_.store(std::this_thread::get_id());
        handler_(sample);
        delivering_.store(std::thread::id());
    }

    bool isOpen() const { return open_.load(); }

    void close() {
        open_.store(false);
        // Closed from inside the handler: the delivery in progress is the caller's own.
        if (delivering_.load() == std::this_thread::get_id()) return;
        std::lock_guard guard(lock_);
        handler_ = nullptr;
    }

private:
    std::mutex lock_;
    std::atomic<bool> open_{true};
    std::atomic<std::thread::id> delivering_{};
    CaptureStreamFactory::FrameHandler handler_;
};

}  // namespace

struct X11CaptureStream::Worker {
    Worker(X11CaptureStreamOptions streamOptions, ResolvedCaptureSource resolved,
           CaptureStreamConfiguration streamConfiguration, CaptureStreamFactory::FrameHandler onFrame,
           CaptureStreamFactory::StopHandler stopHandler, CaptureStreamFactory::Submit submitToSampleQueue)
        : options(std::move(streamOptions)),
          source(std::move(resolved)),
          configuration(streamConfiguration),
          frames(std::make_shared<FrameGate>(std::move(onFrame))),
          onStop(std::move(stopHandler)),
          submit(std::move(submitToSampleQueue)) {}

    bool capturesWindow() const { return source.filter.kind == CaptureContentFilter::Kind::window; }
    std::uint32_t windowId() const { return source.filter.windowId; }

    PlatformError withSourceField(PlatformError error) const {
        if (capturesWindow()) return error.withField(windowIdField, std::to_string(windowId()));
        return error.withField(displayIdField, std::to_string(source.filter.displayId));
    }
    PlatformError windowClosed() const {
        return withSourceField(PlatformError("X11", badWindow, "The window " + hexId(windowId()) + windowClosedText));
    }
    PlatformError windowWithdrawn() const {
        return withSourceField(PlatformError("X11", 0, "The window " + hexId(windowId()) + windowWithdrawnText)
                                   .withReason("It stayed unmapped for more than " +
                                               std::to_string(options.unmappedGrace.count()) + " ms."));
    }
    PlatformError connectionBroken() const {
        PlatformError error("X11", xcb_connection_has_error(connection->get()), connectionBrokenText);
        error.withRecovery(connectionBrokenRecovery);
        try {
            connection->requireHealthy();
        } catch (...) {
            error.withUnderlying(std::current_exception());
        }
        return withSourceField(std::move(error));
    }

    void logOnce(const std::string& key, const std::string& message) {
        if (loggedProblems.insert(key).second) halvexNativeLog(message);
    }

    // Connects and checks the source; throws PlatformError. Runs before the thread starts.
    void open() {
        if (configuration.pixelFormat != PixelFormat::bgra) {
            throw PlatformError("X11", 0, pixelFormatText).withField("pixelFormat", hexId(configuration.pixelFormat));
        }
        const std::int64_t width = configuration.width > 0 ? configuration.width : source.outputWidth;
        const std::int64_t height = configuration.height > 0 ? configuration.height : source.outputHeight;
        if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
            throw PlatformError("X11", 0, outputSizeText)
                .withField("size", std::to_string(width) + "x" + std::to_string(height));
        }
        {
            auto opened = X11Connection::open(options.displayName);
            std::lock_guard guard(socketLock);
            connection = std::move(opened);
            socket = xcb_get_file_descriptor(connection->get());
        }
        xcb_connection_t* c = connection->get();
        if (capturesWindow()) {
            // Structure events tell the thread at once when the window goes away or is unmapped.
            const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_generic_error_t* error =
                xcb_request_check(c, xcb_change_window_attributes_checked(c, windowId(), XCB_CW_EVENT_MASK, &mask));
            Reply attributes(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, windowId()), nullptr));
            const int code = error ? error->error_code : 0;
            std::free(error);
            if (code != 0 || !attributes) {
                connection->requireHealthy();
                throw withSourceField(PlatformError("X11", code ? code : badWindow,
                                                    "The window " + hexId(windowId()) + windowMissingText));
            }
            if (attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
                reader.readWindowRetained(*connection, windowId());
            } else {
                unmappedSince = Clock::now();
            }
        } else {
            reader.readScreenAreaRetained(*connection, source.filter.frame);
        }
        pool = PixelBufferPool::create(static_cast<int>(width), static_cast<int>(height),
                                       static_cast<std::size_t>(std::max<std::int64_t>(1, configuration.queueDepth)));
        if (configuration.showsCursor) cursor = X11CursorOverlay::create(*connection);
    }

    void closeConnection() {
        cursor.reset();
        if (connection) reader.releaseRetained(*connection);
        std::lock_guard guard(socketLock);
        connection.reset();
        socket = -1;
    }

    // Makes every pending and later request of the thread fail at once, so a thread waiting on a
    // server that stopped answering ends.
    void breakConnection() {
        std::lock_guard guard(socketLock);
        if (socket >= 0) ::shutdown(socket, SHUT_RDWR);
    }

    bool waitUntilFinished(std::chrono::milliseconds patience) {
        std::unique_lock guard(lock);
        return wake.wait_for(guard, patience, [&] { return finished; });
    }

    void requestStop() {
        {
            std::lock_guard guard(lock);
            stopRequested = true;
        }
        wake.notify_all();
    }

    void run() {
        FramePacer pacer(Clock::now(), configuration.fps);
        for (;;) {
            {
                std::unique_lock guard(lock);
                if (wake.wait_until(guard, pacer.due(), [&] { return stopRequested; })) break;
            }
            if (!detached.load()) {
                if (auto failure = captureFrame()) {
                    report(std::move(*failure));
                    break;
                }
            }
            pacer.advance(Clock::now());
        }
        closeConnection();
        {
            std::lock_guard guard(lock);
            finished = true;
        }
        wake.notify_all();
    }

    void report(PlatformError failure) {
        {
            std::lock_guard guard(lock);
            if (stopRequested) return;
        }
        // Frames still queued would arrive after the report.
        frames->close();
        if (!detached.load() && onStop) onStop(std::make_exception_ptr(std::move(failure)));
    }

    // Reads the structure events of the captured window: a destroyed window ends the stream.
    bool windowDestroyed() {
        bool destroyed = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection->get())) {
            switch (event->response_type & 0x7F) {
            case XCB_DESTROY_NOTIFY:
                destroyed |= reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == windowId();
                break;
            case XCB_UNMAP_NOTIFY:
                if (reinterpret_cast<xcb_unmap_notify_event_t*>(event)->window == windowId() && !unmappedSince) {
                    unmappedSince = Clock::now();
                }
                break;
            case XCB_MAP_NOTIFY:
                if (reinterpret_cast<xcb_map_notify_event_t*>(event)->window == windowId()) unmappedSince.reset();
                break;
            default: break;
            }
            std::free(event);
        }
        return destroyed;
    }

    // While the window is not viewable: whether it came back, is gone, or has been withdrawn for
    // longer than the grace. Nothing when capturing may go on (now or later).
    std::optional<PlatformError> checkHiddenWindow() {
        xcb_connection_t* c = connection->get();
        xcb_generic_error_t* error = nullptr;
        Reply attributes(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, windowId()), &error));
        const int code = error ? error->error_code : 0;
        std::free(error);
        if (!attributes) {
            if (!connection->healthy()) return connectionBroken();
            if (code == badWindow) return windowClosed();
            return std::nullopt;
        }
        if (attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
            unmappedSince.reset();
            return std::nullopt;
        }
        if (!unmappedSince) unmappedSince = Clock::now();
        // Mapped below an unmapped frame (another workspace, a minimised frame): still managed.
        if (attributes->map_state != XCB_MAP_STATE_UNMAPPED) return std::nullopt;
        if (Clock::now() - *unmappedSince <= options.unmappedGrace) return std::nullopt;
        const auto state = connection->property(windowId(), connection->atom("WM_STATE"), 8);
        const auto items = state ? state->items() : std::vector<std::uint32_t>{};
        if (!items.empty() && items.front() != withdrawnState) return std::nullopt;
        return windowWithdrawn();
    }

    // After a failed read: a stream-ending failure, or nothing when the next slot may succeed.
    std::optional<PlatformError> classifyReadFailure(const PlatformError& error) {
        if (!connection->healthy()) return connectionBroken();
        if (capturesWindow()) {
            if (auto failure = checkHiddenWindow()) return failure;
            if (unmappedSince) return std::nullopt;
        }
        logOnce(error.description(), "X11 capture skipped a frame: " + halvexDetailedError(error));
        return std::nullopt;
    }

    // Paints the product's own windows black where they lie on a captured display area whose top
    // left is (left, top) in root coordinates.
    void blackOutExcludedWindows(X11PixelView& view, int left, int top) {
        const auto& excluded = source.filter.excludedWindowIds;
        if (excluded.empty()) return;
        xcb_connection_t* c = connection->get();
        struct Pending {
            xcb_get_window_attributes_cookie_t attributes;
            xcb_get_geometry_cookie_t geometry;
            xcb_translate_coordinates_cookie_t position;
        };
        std::vector<Pending> pending;
        pending.reserve(excluded.size());
        for (const std::uint32_t window : excluded) {
            pending.push_back({xcb_get_window_attributes(c, window), xcb_get_geometry(c, window),
                               xcb_translate_coordinates(c, window, connection->root(), 0, 0)});
        }
        for (const auto& request : pending) {
            Reply attributes(xcb_get_window_attributes_reply(c, request.attributes, nullptr));
            Reply geometry(xcb_get_geometry_reply(c, request.geometry, nullptr));
            Reply position(xcb_translate_coordinates_reply(c, request.position, nullptr));
            if (!attributes || !geometry || !position || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
            const int border = geometry->border_width;
            fillBlack(view, position->dst_x - border - left, position->dst_y - border - top,
                      geometry->width + 2 * border, geometry->height + 2 * border);
        }
    }

    // One slot of the schedule. Returns the failure that ends the stream, if any.
    std::optional<PlatformError> captureFrame() {
        if (!connection->healthy()) return connectionBroken();
        xcb_connection_t* c = connection->get();
        if (capturesWindow()) {
            if (windowDestroyed()) return windowClosed();
            if (unmappedSince) {
                if (auto failure = checkHiddenWindow()) return failure;
                if (unmappedSince) return std::nullopt;
            }
        } else {
            connection->discardEvents();
        }
        auto buffer = pool->acquire();
        if (!buffer) {
            skippedForBuffers.fetch_add(1);
            return std::nullopt;
        }
        // The cursor's image and the window's position travel while the pixels are read.
        std::optional<xcb_translate_coordinates_cookie_t> windowPosition;
        if (cursor) {
            cursor->request();
            if (capturesWindow()) windowPosition = xcb_translate_coordinates(c, windowId(), connection->root(), 0, 0);
        }
        const auto capturedAt = Clock::now();
        X11PixelView view;
        try {
            view = capturesWindow() ? reader.readWindowRetained(*connection, windowId())
                                    : reader.readScreenAreaRetained(*connection, source.filter.frame);
        } catch (const PlatformError& error) {
            if (windowPosition) xcb_discard_reply(c, windowPosition->sequence);
            return classifyReadFailure(error);
        }
        int originX = std::max(0, static_cast<int>(source.filter.frame.x));
        int originY = std::max(0, static_cast<int>(source.filter.frame.y));
        if (capturesWindow()) {
            if (windowPosition) {
                Reply position(xcb_translate_coordinates_reply(c, *windowPosition, nullptr));
                originX = position ? position->dst_x : 0;
                originY = position ? position->dst_y : 0;
            }
        } else {
            blackOutExcludedWindows(view, originX, originY);
        }
        if (cursor) cursor->drawOnto(view, originX, originY);
        if (!fitter.fit(view, *buffer)) {
            logOnce("fit", "X11 capture skipped a frame: the captured pixels could not be scaled to the output size.");
            return std::nullopt;
        }
        SampleBuffer sample;
        sample.pixelBuffer = std::move(buffer);
        sample.presentationTime = MediaTime::make(
            std::chrono::duration_cast<std::chrono::nanoseconds>(capturedAt.time_since_epoch()).count(),
            nanosecondTimescale);
        sample.isComplete = true;
        if (detached.load() || !frames->isOpen()) return std::nullopt;
        submitted.fetch_add(1);
        submit([gate = frames, sample = std::move(sample)] { gate->deliver(sample); });
        return std::nullopt;
    }

    const X11CaptureStreamOptions options;
    const ResolvedCaptureSource source;
    const CaptureStreamConfiguration configuration;
    const std::shared_ptr<FrameGate> frames;
    const CaptureStreamFactory::StopHandler onStop;
    const CaptureStreamFactory::Submit submit;

    // Used by start() before the thread exists, then by the thread alone.
    std::unique_ptr<X11Connection> connection;
    X11ImageReader reader;
    FrameFitter fitter;
    std::shared_ptr<PixelBufferPool> pool;
    std::unique_ptr<X11CursorOverlay> cursor;
    std::optional<Clock::time_point> unmappedSince;
    std::set<std::string> loggedProblems;

    std::mutex lock;
    std::condition_variable wake;
    bool stopRequested = false;
    bool finished = false;  // the thread has let go of the connection

    // The connection's socket, for breakConnection() from the owner's thread.
    std::mutex socketLock;
    int socket = -1;

    std::atomic<bool> detached{false};
    std::atomic<std::int64_t> skippedForBuffers{0};
    std::atomic<std::int64_t> submitted{0};
};

X11CaptureStream::X11CaptureStream(X11CaptureStreamOptions options, ResolvedCaptureSource source,
                                   CaptureStreamConfiguration configuration,
                                   CaptureStreamFactory::FrameHandler onFrame, CaptureStreamFactory::StopHandler onStop,
                                   CaptureStreamFactory::Submit submitToSampleQueue)
    : worker_(std::make_shared<Worker>(std::move(options), std::move(source), configuration, std::move(onFrame),
                                       std::move(onStop), std::move(submitToSampleQueue))) {}

X11CaptureStream::~X11CaptureStream() {
    endThread(thread_);
    worker_->frames->close();
}

void X11CaptureStream::endThread(std::thread& thread) {
    worker_->requestStop();
    if (!thread.joinable()) return;
    // From a handler on the capture thread the thread cannot be joined; it ends once the handler
    // returns and submits nothing more, since the stop is already requested.
    if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();
        return;
    }
    if (!worker_->waitUntilFinished(stopPatience)) {
        halvexNativeLog("X11 capture: the X server stopped answering; closing the stream's connection.");
        worker_->breakConnection();
    }
    thread.join();
}

void X11CaptureStream::start(Completion completion) {
    std::exception_ptr error;
    {
        std::lock_guard guard(lifecycle_);
        if (phase_ != Phase::created) {
            error = std::make_exception_ptr(worker_->withSourceField(PlatformError("X11", 0, alreadyStartedText)));
        } else {
            try {
                worker_->open();
                thread_ = std::thread([worker = worker_] { worker->run(); });
                phase_ = Phase::running;
            } catch (...) {
                error = std::current_exception();
                worker_->closeConnection();
            }
        }
    }
    if (completion) completion(error);
}

void X11CaptureStream::stop(Completion completion) {
    std::thread finishing;
    {
        std::lock_guard guard(lifecycle_);
        phase_ = Phase::stopped;
        finishing = std::move(thread_);
    }
    endThread(finishing);
    worker_->frames->close();
    if (completion) completion(nullptr);
}

void X11CaptureStream::detach() {
    worker_->detached.store(true);
    worker_->frames->close();
}

std::int64_t X11CaptureStream::framesSkippedForBuffers() const { return worker_->skippedForBuffers.load(); }

std::int64_t X11CaptureStream::framesSubmitted() const { return worker_->submitted.load(); }

}  // namespace halvex::x11
