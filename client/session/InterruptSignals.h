#pragma once

namespace halvex::client {

// SIGINT, SIGTERM and SIGHUP turned into a readable descriptor (a self-pipe), so every wait of the
// client can notice them and leave through its normal clean-up (ending the helper, Xvfb, ...).
// SIGPIPE is ignored: a helper that went away shows as a failed write, not a dead client.
namespace InterruptSignals {

// Installs the handlers once; later calls do nothing.
void install();
// Readable once a signal has arrived; stays readable.
int descriptor();
// The first signal received, or 0.
int received();
// Takes note of the signals received so far: `received()` is 0 again and the descriptor no longer
// readable, so the clean-up that follows can wait; a further signal interrupts it.
void acknowledge();

}  // namespace InterruptSignals

// Thrown by waits that notice an interrupting signal.
struct Interrupted {
    int signal = 0;
};

}  // namespace halvex::client
