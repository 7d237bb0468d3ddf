#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "core/capture/x11/X11CaptureStreamFactory.h"
#include "core/sources/x11/X11Connection.h"
#include "core/sources/x11/X11PaintedWindow.h"
#include "core/support/PlatformError.h"
#include "core/support/SerialQueue.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/XvfbServer.h"

namespace halvex::x11 {
namespace {

using namespace std::chrono_literals;
using Pixel = std::array<int, 4>;

Pixel at(const PixelBuffer& image, int x, int y) {
    const std::uint8_t* pixel = image.row(y) + x * 4;
    return {pixel[0], pixel[1], pixel[2], pixel[3]};
}

// Within a few levels of an opaque B, G, R colour (scaling may soften edges a little).
::testing::AssertionResult looksLike(const PixelBuffer& image, int x, int y, Pixel expected) {
    const Pixel actual = at(image, x, y);
    for (int c = 0; c < 4; ++c) {
        if (std::abs(actual[c] - expected[c]) > 8) {
            return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is " << actual[0] << "," << actual[1]
                                                 << "," << actual[2] << "," << actual[3];
        }
    }
    return ::testing::AssertionSuccess();
}

const Pixel red{0, 0, 255, 255};
const Pixel blue{255, 0, 0, 255};
const Pixel green{0, 255, 0, 255};
const Pixel black{0, 0, 0, 255};

// What the engine would see: samples on a serial sample queue, stop reports on any thread.
class Recorder {
public:
    CaptureStreamFactory::FrameHandler frameHandler() {
        return [this](const SampleBuffer& sample) {
            std::lock_guard guard(lock_);
            times_.push_back(sample.presentationTime);
            buffers_.insert(sample.pixelBuffer.get());
            latest_ = sample;
            if (keepsSamples_) kept_.push_back(sample);
            changed_.notify_all();
        };
    }
    CaptureStreamFactory::StopHandler stopHandler() {
        return [this](std::exception_ptr error) {
            std::lock_guard guard(lock_);
            stops_.push_back(error);
            framesAtStop_ = times_.size();
            changed_.notify_all();
        };
    }
    CaptureStreamFactory::Submit submit() {
        return [queue = queue_](std::function<void()> work) { queue->async(std::move(work)); };
    }

    // Waits until `condition` holds (checked on every change) or `timeout` passes.
    bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5000ms) {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, timeout, condition);
    }
    bool waitForStop(std::chrono::milliseconds timeout = 5000ms) {
        return waitFor([&] { return !stops_.empty(); }, timeout);
    }
    bool waitForFrames(std::size_t count, std::chrono::milliseconds timeout = 5000ms) {
        return waitFor([&] { return times_.size() >= count; }, timeout);
    }
    // Waits for the newest frame to satisfy `test`.
    bool waitForFrame(const std::function<bool(const PixelBuffer&)>& test, std::chrono::milliseconds timeout = 5000ms) {
        return waitFor([&] { return latest_.pixelBuffer && test(*latest_.pixelBuffer); }, timeout);
    }

    std::size_t frames() {
        std::lock_guard guard(lock_);
        return times_.size();
    }
    std::vector<MediaTime> times() {
        std::lock_guard guard(lock_);
        return times_;
    }
    std::size_t distinctBuffers() {
        std::lock_guard guard(lock_);
        return buffers_.size();
    }
    SampleBuffer latest() {
        std::lock_guard guard(lock_);
        return latest_;
    }
    std::vector<std::exception_ptr> stops() {
        std::lock_guard guard(lock_);
        return stops_;
    }
    std::size_t framesAtStop() {
        std::lock_guard guard(lock_);
        return framesAtStop_;
    }
    // Holds on to every sample (and so its pixel buffer) until releaseKept().
    void keepSamples() {
        std::lock_guard guard(lock_);
        keepsSamples_ = true;
    }
    void releaseKept() {
        std::lock_guard guard(lock_);
        keepsSamples_ = false;
        kept_.clear();
        latest_ = {};
    }

private:
    std::shared_ptr<SerialQueue> queue_ = SerialQueue::create("com.halvex.capture.samples");
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<MediaTime> times_;
    std::set<const PixelBuffer*> buffers_;
    SampleBuffer latest_;
    std::vector<SampleBuffer> kept_;
    std::vector<std::exception_ptr> stops_;
    std::size_t framesAtStop_ = 0;
    bool keepsSamples_ = false;
};

// Another X client that moves, resizes, hides and shows windows, as a user or a window manager would.
class Editor {
public:
    explicit Editor(const std::string& display) : connection_(xcb_connect(display.c_str(), nullptr)) {}
    ~Editor() { xcb_disconnect(connection_); }
    void resize(xcb_window_t window, std::uint32_t width, std::uint32_t height) {
        const std::uint32_t values[] = {width, height};
        xcb_configure_window(connection_, window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
        sync();
    }
    void unmap(xcb_window_t window) {
        xcb_unmap_window(connection_, window);
        sync();
    }
    void map(xcb_window_t window) {
        xcb_map_window(connection_, window);
        sync();
    }
    void movePointer(int x, int y) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        xcb_warp_pointer(connection_, XCB_WINDOW_NONE, root, 0, 0, 0, 0, static_cast<std::int16_t>(x),
                         static_cast<std::int16_t>(y));
        sync();
    }
    void sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

private:
    xcb_connection_t* connection_;
};

ResolvedCaptureSource windowSource(xcb_window_t window, int x, int y, int width, int height) {
    ResolvedCaptureSource source;
    source.source.id = "window:" + std::to_string(window);
    source.source.type = "window";
    source.source.nativeId = window;
    source.filter.kind = CaptureContentFilter::Kind::window;
    source.filter.windowId = window;
    source.filter.frame = {static_cast<double>(x), static_cast<double>(y), static_cast<double>(width),
                           static_cast<double>(height)};
    source.outputWidth = width;
    source.outputHeight = height;
    return source;
}

ResolvedCaptureSource displaySource(int width, int height, std::vector<std::uint32_t> excluded = {}) {
    ResolvedCaptureSource source;
    source.source.id = "screen:1";
    source.source.type = "screen";
    source.filter.kind = CaptureContentFilter::Kind::display;
    source.filter.displayId = 1;
    source.filter.frame = {0, 0, static_cast<double>(width), static_cast<double>(height)};
    source.filter.excludedWindowIds = std::move(excluded);
    source.outputWidth = width;
    source.outputHeight = height;
    return source;
}

CaptureStreamConfiguration configurationFor(std::int64_t width, std::int64_t height, std::int64_t fps = 30) {
    CaptureStreamConfiguration configuration;
    configuration.width = width;
    configuration.height = height;
    configuration.fps = fps;
    configuration.queueDepth = 3;
    // The pointer rests in the middle of the screen; only the cursor test draws it.
    configuration.showsCursor = false;
    return configuration;
}

std::exception_ptr startOf(CaptureStream& stream) {
    std::exception_ptr result = std::make_exception_ptr(std::runtime_error("completion never ran"));
    stream.start([&](std::exception_ptr error) { result = error; });
    return result;
}

std::string descriptionOf(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::exception& caught) {
        return caught.what();
    }
    return "no error";
}

std::optional<std::string> fieldOf(std::exception_ptr error, const std::string& key) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const PlatformError& caught) {
        for (const auto& [name, value] : caught.fields()) {
            if (name == key) return value;
        }
    } catch (...) {
    }
    return std::nullopt;
}

std::string domainOf(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const PlatformError& caught) {
        return caught.domain();
    } catch (...) {
    }
    return "";
}

class X11CaptureStreamFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(xvfb.running());
        // Redirection on before the test's windows are drawn, as the catalog's connection does.
        redirection = X11Connection::open(xvfb.display());
    }
    std::unique_ptr<X11PaintedWindow> window(X11PaintedWindow::Options options) {
        auto made = X11PaintedWindow::create(xvfb.display(), options);
        EXPECT_TRUE(made);
        return made;
    }
    std::shared_ptr<X11CaptureStream> stream(const ResolvedCaptureSource& source,
                                             const CaptureStreamConfiguration& configuration,
                                             std::chrono::milliseconds unmappedGrace = 2000ms) {
        X11CaptureStreamFactory factory({xvfb.display(), unmappedGrace});
        return std::dynamic_pointer_cast<X11CaptureStream>(factory.makeStream(
            source, configuration, recorder.frameHandler(), recorder.stopHandler(), recorder.submit()));
    }
    static void stopAndWait(CaptureStream& stream) {
        bool done = false;
        stream.stop([&](std::exception_ptr error) {
            EXPECT_FALSE(error);
            done = true;
        });
        EXPECT_TRUE(done);
    }

    testing::XvfbServer xvfb{800, 600, 24};
    std::unique_ptr<X11Connection> redirection;
    Recorder recorder;
};

TEST_F(X11CaptureStreamFixture, DeliversAPaintedWindowAtTheOutputSizeAndRate) {
    auto painted = window({.x = 40, .y = 40, .width = 320, .height = 240, .colours = {0xFF0000, 0x0000FF}});
    struct Case {
        int width;
        int height;
    };
    // The window's own size (copied) and half of it (scaled).
    for (const Case output : {Case{320, 240}, Case{160, 120}}) {
        Recorder frames;
        X11CaptureStreamFactory factory({xvfb.display()});
        auto capture = factory.makeStream(windowSource(painted->id(), 40, 40, 320, 240),
                                          configurationFor(output.width, output.height, 20), frames.frameHandler(),
                                          frames.stopHandler(), frames.submit());
        ASSERT_FALSE(startOf(*capture));
        std::this_thread::sleep_for(1s);
        stopAndWait(*capture);
        // 20 fps for a second: at least half of that, and never a burst beyond the rate.
        EXPECT_GE(frames.frames(), 10u);
        EXPECT_LE(frames.frames(), 24u);
        const auto times = frames.times();
        for (std::size_t index = 1; index < times.size(); ++index) {
            ASSERT_EQ(times[index].timescale, times[0].timescale);
            EXPECT_GT(times[index].value, times[index - 1].value);
        }
        const auto image = frames.latest().pixelBuffer;
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width(), output.width);
        EXPECT_EQ(image->height(), output.height);
        EXPECT_TRUE(looksLike(*image, output.width / 4, output.height / 2, red));
        EXPECT_TRUE(looksLike(*image, output.width * 3 / 4, output.height / 2, blue));
        EXPECT_TRUE(frames.stops().empty());
    }
}

TEST_F(X11CaptureStreamFixture, ACoveredWindowStillGivesItsOwnColours) {
    if (!redirection->hasComposite()) GTEST_SKIP() << "no Composite on this server";
    auto painted = window({.x = 40, .y = 40, .width = 320, .height = 240, .colours = {0xFF0000, 0x0000FF}});
    auto cover = window({.x = 0, .y = 0, .width = 500, .height = 400, .colours = {0x00FF00}});
    cover->raise();
    auto capture = stream(windowSource(painted->id(), 40, 40, 320, 240), configurationFor(320, 240));
    ASSERT_FALSE(startOf(*capture));
    ASSERT_TRUE(recorder.waitForFrames(3));
    const auto image = recorder.latest().pixelBuffer;
    EXPECT_TRUE(looksLike(*image, 80, 120, red));
    EXPECT_TRUE(looksLike(*image, 240, 120, blue));
    // The screen shows the cover there.
    Recorder screenFrames;
    X11CaptureStreamFactory factory({xvfb.display()});
    auto screen = factory.makeStream(displaySource(800, 600), configurationFor(800, 600), screenFrames.frameHandler(),
                                     screenFrames.stopHandler(), screenFrames.submit());
    ASSERT_FALSE(startOf(*screen));
    ASSERT_TRUE(screenFrames.waitForFrames(2));
    EXPECT_TRUE(looksLike(*screenFrames.latest().pixelBuffer, 200, 150, green));
    stopAndWait(*screen);
    stopAndWait(*capture);
}

TEST_F(X11CaptureStreamFixture, HeldBuffersSkipFramesUntilReleased) {
    auto painted = window({.x = 40, .y = 40, .width = 200, .height = 200, .colours = {0xFF0000}});
    auto configuration = configurationFor(200, 200, 30);
    configuration.queueDepth = 2;
    recorder.keepSamples();
    auto capture = stream(windowSource(painted->id(), 40, 40, 200, 200), configuration);
    ASSERT_FALSE(startOf(*capture));
    ASSERT_TRUE(recorder.waitForFrames(2));
    std::this_thread::sleep_for(400ms);
    // Both buffers are held: nothing more arrives, and slots are skipped rather than buffers made.
    EXPECT_EQ(recorder.frames(), 2u);
    EXPECT_GT(capture->framesSkippedForBuffers(), 0);
    recorder.releaseKept();
    EXPECT_TRUE(recorder.waitForFrames(8));
    stopAndWait(*capture);
    EXPECT_EQ(recorder.distinctBuffers(), 2u);
}

TEST_F(X11CaptureStreamFixture, AResizedWindowIsLetterboxedAtTheConfiguredSize) {
    auto painted = window({.x = 40, .y = 40, .width = 320, .height = 240, .colours = {0xFF0000, 0x0000FF}});
    auto capture = stream(windowSource(painted->id(), 40, 40, 320, 240), configurationFor(320, 240));
    ASSERT_FALSE(startOf(*capture));
    ASSERT_TRUE(recorder.waitForFrames(4));
    Editor editor(xvfb.display());
    editor.resize(painted->id(), 320, 120);
    painted->paint();
    // 320 x 120 fits as itself in rows 60 to 179, black above and below.
    const auto letterboxed = [](const PixelBuffer& frame) {
        return frame.width() == 320 && frame.height() == 240 && looksLike(frame, 80, 20, black) &&
               looksLike(frame, 80, 220, black) && looksLike(frame, 80, 120, red) && looksLike(frame, 240, 120, blue);
    };
    ASSERT_TRUE(recorder.waitForFrame(letterboxed));
    // Every pooled buffer, including those that held full frames, gets the border.
    const std::size_t seen = recorder.frames();
    for (std::size_t more = 1; more <= 6; ++more) {
        ASSERT_TRUE(recorder.waitForFrames(seen + more));
        EXPECT_TRUE(letterboxed(*recorder.latest().pixelBuffer)) << "frame " << seen + more;
    }
    // Wider than the output's aspect: pillarboxed left and right.
    editor.resize(painted->id(), 120, 240);
    painted->paint();
    ASSERT_TRUE(recorder.waitForFrame([](const PixelBuffer& frame) {
        return looksLike(frame, 40, 120, black) && looksLike(frame, 280, 120, black) && looksLike(frame, 160, 120, red);
    }));
    stopAndWait(*capture);
    EXPECT_TRUE(recorder.stops().empty());
}

TEST_F(X11CaptureStreamFixture, AWindowThatGoesAwayStopsTheStreamOnceWithAClearError) {
    struct Case {
        const char* how;
        std::function<void(std::unique_ptr<X11PaintedWindow>&, Editor&)> remove;
        const char* description;
    };
    const Case cases[] = {
        {"destroyed", [](auto& painted, Editor&) { painted.reset(); }, " being captured was closed."},
        {"withdrawn", [](auto& painted, Editor& editor) { editor.unmap(painted->id()); },
         " being captured was hidden and not shown again."},
    };
    for (const auto& item : cases) {
        Recorder frames;
        auto painted = window({.x = 40, .y = 40, .width = 200, .height = 200, .colours = {0xFF0000}});
        const auto id = painted->id();
        X11CaptureStreamFactory factory({xvfb.display(), 300ms});
        auto capture = factory.makeStream(windowSource(id, 40, 40, 200, 200), configurationFor(200, 200),
                                          frames.frameHandler(), frames.stopHandler(), frames.submit());
        ASSERT_FALSE(startOf(*capture));
        ASSERT_TRUE(frames.waitForFrames(3)) << item.how;
        Editor editor(xvfb.display());
        item.remove(painted, editor);
        ASSERT_TRUE(frames.waitForStop()) << item.how;
        std::this_thread::sleep_for(400ms);
        const auto stops = frames.stops();
        ASSERT_EQ(stops.size(), 1u) << item.how;
        EXPECT_EQ(domainOf(stops[0]), "X11");
        std::ostringstream hex;
        hex << "The window 0x" << std::hex << id << item.description;
        EXPECT_EQ(descriptionOf(stops[0]), hex.str()) << item.how;
        EXPECT_EQ(fieldOf(stops[0], "windowId"), std::to_string(id)) << item.how;
        EXPECT_EQ(frames.frames(), frames.framesAtStop()) << item.how << ": frames after the stop report";
        stopAndWait(*capture);
        EXPECT_EQ(frames.stops().size(), 1u) << item.how;
    }
}

TEST_F(X11CaptureStreamFixture, AWindowHiddenBrieflyComesBackWithoutAStop) {
    auto painted = window({.x = 40, .y = 40, .width = 200, .height = 200, .colours = {0xFF0000}});
    auto capture = stream(windowSource(painted->id(), 40, 40, 200, 200), configurationFor(200, 200), 1500ms);
    ASSERT_FALSE(startOf(*capture));
    ASSERT_TRUE(recorder.waitForFrames(3));
    Editor editor(xvfb.display());
    editor.unmap(painted->id());
    std::this_thread::sleep_for(300ms);
    editor.map(painted->id());
    painted->paint();
    const std::size_t before = recorder.frames();
    EXPECT_TRUE(recorder.waitForFrames(before + 5));
    stopAndWait(*capture);
    EXPECT_TRUE(recorder.stops().empty());
}

TEST_F(X11CaptureStreamFixture, ADisplaySourceDeliversTheScreenWithoutExcludedWindows) {
    auto shown = window({.x = 40, .y = 40, .width = 200, .height = 200, .colours = {0xFF0000}});
    auto own = window({.x = 400, .y = 300, .width = 200, .height = 150, .colours = {0x0000FF}});
    // Half-size output: scaled, the window at (20, 20) and the excluded one at (200, 150).
    auto capture = stream(displaySource(800, 600, {own->id()}), configurationFor(400, 300));
    ASSERT_FALSE(startOf(*capture));
    ASSERT_TRUE(recorder.waitForFrames(3));
    const auto image = recorder.latest().pixelBuffer;
    EXPECT_EQ(image->width(), 400);
    EXPECT_EQ(image->height(), 300);
    EXPECT_TRUE(looksLike(*image, 70, 70, red));
    EXPECT_TRUE(looksLike(*image, 250, 187, black));
    stopAndWait(*capture);
}

TEST_F(X11CaptureStreamFixture, StopCompletesAfterTheLastFrameAndDetachSilencesTheStream) {
    auto painted = window({.x = 40, .y = 40, .width = 200, .height = 200, .colours = {0xFF0000}});
    auto capture = stream(windowSource(painted->id(), 40, 40, 200, 200), configurationFor(200, 200, 60));
    ASSERT_FALSE(startOf(*capture));
    ASSERT_TRUE(recorder.waitForFrames(3));
    int completions = 0;
    std::size_t framesAtCompletion = 0;
    capture->stop([&](std::exception_ptr error) {
        EXPECT_FALSE(error);
        ++completions;
        framesAtCompletion = recorder.frames();
    });
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(recorder.frames(), framesAtCompletion);
    EXPECT_NE(descriptionOf(startOf(*capture)), "no error");  // a stopped stream does not start again

    // Detached: neither frames nor the stop report reach the handlers, even when the window goes.
    Recorder silent;
    X11CaptureStreamFactory factory({xvfb.display()});
    auto detached = factory.makeStream(windowSource(painted->id(), 40, 40, 200, 200), configurationFor(200, 200),
                                       silent.frameHandler(), silent.stopHandler(), silent.submit());
    ASSERT_FALSE(startOf(*detached));
    ASSERT_TRUE(silent.waitForFrames(2));
    detached->detach();
    const std::size_t atDetach = silent.frames();
    painted.reset();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(silent.frames(), atDetach);
    EXPECT_TRUE(silent.stops().empty());
    stopAndWait(*detached);
}

TEST_F(X11CaptureStreamFixture, AStopFromInsideAHandlerOnTheCaptureThreadDoesNotDeadlock) {
    auto painted = window({.x = 40, .y = 40, .width = 200, .height = 200, .colours = {0xFF0000}});
    std::mutex lock;
    std::condition_variable changed;
    std::shared_ptr<CaptureStream> capture;
    int frames = 0;
    int completions = 0;
    X11CaptureStreamFactory factory({xvfb.display()});
    capture = factory.makeStream(
        windowSource(painted->id(), 40, 40, 200, 200), configurationFor(200, 200, 60),
        [&](const SampleBuffer&) {
            std::unique_lock guard(lock);
            ++frames;
            auto self = capture;
            guard.unlock();
            self->stop([&](std::exception_ptr) {
                std::lock_guard done(lock);
                ++completions;
                changed.notify_all();
            });
        },
        [](std::exception_ptr) {},
        [](std::function<void()> work) { work(); });  // delivered on the capture thread itself
    ASSERT_FALSE(startOf(*capture));
    std::unique_lock guard(lock);
    ASSERT_TRUE(changed.wait_for(guard, 5s, [&] { return completions > 0; }));
    guard.unlock();
    std::this_thread::sleep_for(200ms);
    guard.lock();
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(completions, 1);
}

TEST_F(X11CaptureStreamFixture, DrawsTheCursorOnlyWhenAsked) {
    auto painted = window({.x = 40, .y = 40, .width = 200, .height = 200, .colours = {0xFF0000}});
    Editor editor(xvfb.display());
    editor.movePointer(140, 140);  // the window's middle
    const auto differsNearPointer = [](const PixelBuffer& frame) {
        int changed = 0;
        for (int y = 84; y < 116; ++y) {
            for (int x = 84; x < 116; ++x) changed += !looksLike(frame, x, y, red);
        }
        return changed;
    };
    for (const bool showsCursor : {false, true}) {
        Recorder frames;
        auto configuration = configurationFor(200, 200);
        configuration.showsCursor = showsCursor;
        X11CaptureStreamFactory factory({xvfb.display()});
        auto capture = factory.makeStream(windowSource(painted->id(), 40, 40, 200, 200), configuration,
                                          frames.frameHandler(), frames.stopHandler(), frames.submit());
        ASSERT_FALSE(startOf(*capture));
        ASSERT_TRUE(frames.waitForFrames(3));
        const int changed = differsNearPointer(*frames.latest().pixelBuffer);
        if (showsCursor) {
            EXPECT_GT(changed, 10) << "no cursor drawn";
        } else {
            EXPECT_EQ(changed, 0);
        }
        stopAndWait(*capture);
    }
}

TEST_F(X11CaptureStreamFixture, StartFailsClearlyForWhatCannotBeCaptured) {
    auto painted = window({.x = 40, .y = 40, .width = 200, .height = 200, .colours = {0xFF0000}});
    struct Case {
        const char* name;
        ResolvedCaptureSource source;
        std::string display;
        std::uint32_t pixelFormat;
        std::string expected;
    };
    std::ostringstream missing;
    missing << "The window 0x" << std::hex << painted->id() + 77 << " does not exist.";
    const Case cases[] = {
        {"missing window", windowSource(painted->id() + 77, 0, 0, 200, 200), xvfb.display(), PixelFormat::bgra,
         missing.str()},
        {"area off the screen", [] {
             auto source = displaySource(200, 200);
             source.filter.frame.x = 5000;
             return source;
         }(), xvfb.display(), PixelFormat::bgra, "The source lies outside the screen."},
        {"no server", windowSource(painted->id(), 0, 0, 200, 200), ":4095", PixelFormat::bgra,
         "The X server connection failed or was closed."},
        {"pixel format", windowSource(painted->id(), 0, 0, 200, 200), xvfb.display(), 0x34323076,
         "The X11 capture stream delivers BGRA frames only."},
    };
    for (const auto& item : cases) {
        auto configuration = configurationFor(200, 200);
        configuration.pixelFormat = item.pixelFormat;
        X11CaptureStreamFactory factory({item.display});
        auto capture = factory.makeStream(item.source, configuration, recorder.frameHandler(), recorder.stopHandler(),
                                          recorder.submit());
        const auto error = startOf(*capture);
        EXPECT_EQ(descriptionOf(error), item.expected) << item.name;
        EXPECT_EQ(domainOf(error), "X11") << item.name;
        stopAndWait(*capture);
    }
    EXPECT_EQ(recorder.frames(), 0u);
    EXPECT_TRUE(recorder.stops().empty());
    X11CaptureStreamFactory factory({xvfb.display()});
    EXPECT_THROW(factory.makeStream(windowSource(0, 0, 0, 200, 200), configurationFor(200, 200),
                                    recorder.frameHandler(), recorder.stopHandler(), recorder.submit()),
                 PlatformError);
}

TEST(X11CaptureStreamServerLoss, ALostConnectionStopsTheStreamOnce) {
    std::signal(SIGPIPE, SIG_IGN);  // as the helper does: writes to a dead server must not kill the process
    auto xvfb = std::make_unique<testing::XvfbServer>(640, 480);
    ASSERT_TRUE(xvfb->running());
    Recorder recorder;
    X11CaptureStreamFactory factory({xvfb->display()});
    auto capture = factory.makeStream(displaySource(640, 480), configurationFor(640, 480), recorder.frameHandler(),
                                      recorder.stopHandler(), recorder.submit());
    ASSERT_FALSE(startOf(*capture));
    ASSERT_TRUE(recorder.waitForFrames(3));
    xvfb.reset();
    ASSERT_TRUE(recorder.waitForStop());
    std::this_thread::sleep_for(200ms);
    const auto stops = recorder.stops();
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(descriptionOf(stops[0]), "The connection to the X server broke during capture.");
    EXPECT_EQ(fieldOf(stops[0], "displayId"), "1");
    bool done = false;
    capture->stop([&](std::exception_ptr) { done = true; });
    EXPECT_TRUE(done);
    EXPECT_EQ(recorder.stops().size(), 1u);
}

TEST(X11CaptureStreamServerLoss, StopReturnsWhenTheServerStopsAnswering) {
    std::signal(SIGPIPE, SIG_IGN);
    // A server of our own, so the test can freeze it by its pid.
    testing::ChildProcess server({.arguments = {"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "320x240x24",
                                                "-nolisten", "tcp"},
                                  .pipeStdin = false});
    const auto number = server.readStdoutLine(10s);
    ASSERT_TRUE(number);
    Recorder recorder;
    X11CaptureStreamFactory factory({":" + *number});
    auto capture = factory.makeStream(displaySource(320, 240), configurationFor(320, 240), recorder.frameHandler(),
                                      recorder.stopHandler(), recorder.submit());
    ASSERT_FALSE(startOf(*capture));
    ASSERT_TRUE(recorder.waitForFrames(3));
    server.kill(SIGSTOP);
    std::this_thread::sleep_for(100ms);
    auto stopping = std::async(std::launch::async, [&] {
        bool done = false;
        capture->stop([&](std::exception_ptr) { done = true; });
        return done;
    });
    const bool returned = stopping.wait_for(15s) == std::future_status::ready;
    server.kill(SIGCONT);
    EXPECT_TRUE(returned) << "stop() waited on a frozen server";
    EXPECT_TRUE(stopping.get());
    EXPECT_TRUE(recorder.stops().empty());
}

}  // namespace
}  // namespace halvex::x11
