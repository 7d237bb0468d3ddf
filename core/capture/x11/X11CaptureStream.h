#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/capture/engine/CaptureStream.h"

namespace halvex::x11 {

// What X11 capture streams need beyond the engine's configuration.
struct X11CaptureStreamOptions {
    std::string displayName;  // the X display; empty: DISPLAY
    // How long a captured window may stay withdrawn (unmapped with no window manager state) before
    // the stream gives it up. A minimised window is never given up: it just sends no frames.
    std::chrono::milliseconds unmappedGrace{2000};

    bool operator==(const X11CaptureStreamOptions&) const = default;
};

// A capture stream of one window or display, on an X connection of its own. A capture thread
// paced at the configured rate reads the source (a window through its Composite pixmap when the
// server keeps one, so covering windows do not show; a display's area of the root window), through
// MIT-SHM into memory kept between frames, with GetImage as the fallback. It blacks out the
// product's own windows on a display, draws the cursor (XFixes), fits the pixels into a pooled
// buffer of the output size and submits the sample to the engine's sample queue. When every pooled
// buffer is still held downstream, the frame is skipped without reading anything.
//
// The stream stops by itself, reporting once through the stop handler with a PlatformError in the
// "X11" domain that carries the source id as a field, when the window is destroyed, withdrawn for
// longer than the grace, or the X connection breaks.
class X11CaptureStream : public CaptureStream {
public:
    X11CaptureStream(X11CaptureStreamOptions options, ResolvedCaptureSource source,
                     CaptureStreamConfiguration configuration, CaptureStreamFactory::FrameHandler onFrame,
                     CaptureStreamFactory::StopHandler onStop, CaptureStreamFactory::Submit submitToSampleQueue);
    // Stops and joins the capture thread without reporting anything.
    ~X11CaptureStream() override;
    X11CaptureStream(const X11CaptureStream&) = delete;
    X11CaptureStream& operator=(const X11CaptureStream&) = delete;

    // Connects, checks that the source can be read (a window that exists, a display area on the
    // screen, a 24- or 32-bit server) and starts the capture thread. `completion` runs on the
    // calling thread before start returns: null, or the PlatformError that prevented the start (a
    // second start of a running or stopped stream is refused the same way).
    void start(Completion completion) override;
    // Ends the capture thread and waits for it, then closes delivery; `completion` runs on the
    // calling thread with null, after the last frame was submitted. Frames still queued are
    // dropped. Nothing goes to the stop handler. Called from the capture thread itself (inside a
    // handler), the thread ends as soon as that handler returns. When the server has stopped
    // answering, the stream's connection is cut after 2 s, so stop() still returns.
    void stop(Completion completion) override;
    // From now on no frame reaches the frame handler (one being delivered on another thread is
    // waited for) and no stop report is made; capture pauses until stop().
    void detach() override;

    // Frames skipped because every pooled buffer was still held downstream.
    std::int64_t framesSkippedForBuffers() const;
    // Samples submitted to the sample queue so far.
    std::int64_t framesSubmitted() const;

private:
    enum class Phase { created, running, stopped };
    struct Worker;

    // Asks the capture thread to end and joins it (or lets it finish alone when called on it).
    void endThread(std::thread& thread);

    std::shared_ptr<Worker> worker_;
    std::mutex lifecycle_;
    Phase phase_ = Phase::created;
    std::thread thread_;
};

}  // namespace halvex::x11
