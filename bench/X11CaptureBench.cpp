#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "core/capture/PixelBuffer.h"
#include "core/capture/x11/FrameFitter.h"
#include "core/sources/x11/X11Connection.h"
#include "core/sources/x11/X11ImageReader.h"
#include "core/sources/x11/X11PaintedWindow.h"

namespace halvex::x11 {
namespace {

constexpr int screenWidth = 1920;
constexpr int screenHeight = 1080;

// A private 1920 x 1080 Xvfb for the run (benchmarks are built without the test helpers), with a
// full-screen window of colour bands on it.
class BenchDisplay {
public:
    BenchDisplay() {
        int channel[2];
        if (::pipe(channel) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(channel[0]);
            const std::string fd = std::to_string(channel[1]);
            const std::string screen = std::to_string(screenWidth) + "x" + std::to_string(screenHeight) + "x24";
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(channel[1]);
        std::string number;
        pollfd descriptor{channel[0], POLLIN, 0};
        while (number.find('\n') == std::string::npos && ::poll(&descriptor, 1, 10'000) > 0) {
            char chunk[16];
            const ssize_t count = ::read(channel[0], chunk, sizeof chunk);
            if (count <= 0) break;
            number.append(chunk, static_cast<std::size_t>(count));
        }
        ::close(channel[0]);
        if (number.find('\n') == std::string::npos) return;
        name_ = ":" + number.substr(0, number.find('\n'));
        connection_ = X11Connection::open(name_);
        X11PaintedWindow::Options options;
        options.width = screenWidth;
        options.height = screenHeight;
        options.colours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x808080};
        window_ = X11PaintedWindow::create(name_, options);
    }
    ~BenchDisplay() {
        window_.reset();
        connection_.reset();
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    X11Connection* connection() { return connection_.get(); }
    xcb_window_t window() const { return window_ ? window_->id() : 0; }

private:
    pid_t pid_ = -1;
    std::string name_;
    std::unique_ptr<X11Connection> connection_;
    std::unique_ptr<X11PaintedWindow> window_;
};

BenchDisplay& display() {
    static BenchDisplay shared;
    return shared;
}

const SourceRect wholeScreen{0, 0, screenWidth, screenHeight};

bool ready(benchmark::State& state) {
    if (display().connection() && display().window()) return true;
    state.SkipWithError("Xvfb could not be started");
    return false;
}

// The capture thread's read: into the reader's retained segment (arg 1) or with GetImage (arg 0).
void BM_ReadScreenRetained(benchmark::State& state) {
    if (!ready(state)) return;
    X11ImageReader reader;
    if (state.range(0) == 0) reader.disableSharedMemory();
    for (auto _ : state) benchmark::DoNotOptimize(reader.readScreenAreaRetained(*display().connection(), wholeScreen));
    state.SetLabel(reader.sharedMemoryUsable() ? "MIT-SHM" : "GetImage");
    reader.releaseRetained(*display().connection());
}
BENCHMARK(BM_ReadScreenRetained)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The catalog's one-off read, for comparison: a fresh segment and a new buffer each time.
void BM_ReadScreenOneOff(benchmark::State& state) {
    if (!ready(state)) return;
    X11ImageReader reader;
    for (auto _ : state) benchmark::DoNotOptimize(reader.readScreenArea(*display().connection(), wholeScreen));
    state.SetLabel(reader.sharedMemoryUsable() ? "MIT-SHM" : "GetImage");
}
BENCHMARK(BM_ReadScreenOneOff)->Unit(benchmark::kMillisecond)->UseRealTime();

// A whole frame as the stream takes it: the window's Composite pixmap (or the screen), read into the
// retained segment, then copied opaque into a pooled buffer of the output size (arg: output width;
// 1920 copies, 1280 scales).
void BM_CaptureWindowFrame(benchmark::State& state) {
    if (!ready(state)) return;
    const int width = static_cast<int>(state.range(0));
    const int height = width * screenHeight / screenWidth;
    X11ImageReader reader;
    FrameFitter fitter;
    const auto pool = PixelBufferPool::create(width, height, 3);
    for (auto _ : state) {
        auto buffer = pool->acquire();
        auto view = reader.readWindowRetained(*display().connection(), display().window());
        if (!fitter.fit(view, *buffer)) state.SkipWithError("fit failed");
        benchmark::DoNotOptimize(buffer->data());
    }
    state.SetLabel(std::string(display().connection()->hasComposite() ? "Composite, " : "screen, ") +
                   (reader.sharedMemoryUsable() ? "MIT-SHM" : "GetImage"));
    reader.releaseRetained(*display().connection());
}
BENCHMARK(BM_CaptureWindowFrame)->Arg(1920)->Arg(1280)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace halvex::x11
