#include "interrupt.h"

#include <csignal>

namespace vokri_tool {

namespace {

volatile std::sig_atomic_t g_signal = 0;

void on_signal(int sig) { g_signal = sig; }

}  // namespace

void install_interrupt_handlers() {
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a blocked write returns EINTR so the run notices. The
    // handler resets itself, so a second signal takes the default action.
    sa.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int interrupt_signal() { return g_signal; }

}  // namespace vokri_tool
