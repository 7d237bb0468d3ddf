#include "client/session/InterruptSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace halvex::client::InterruptSignals {
namespace {

int pipeEnds[2] = {-1, -1};
volatile std::sig_atomic_t firstSignal = 0;

void onSignal(int number) {
    if (firstSignal == 0) firstSignal = number;
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(pipeEnds[1], &byte, 1);
}

}  // namespace

void install() {
    if (pipeEnds[0] >= 0) return;
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(number, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

int descriptor() { return pipeEnds[0]; }

int received() { return firstSignal; }

void acknowledge() {
    char bytes[64];
    while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) {
    }
    firstSignal = 0;
}

}  // namespace halvex::client::InterruptSignals
