// The signal handler that keeps an interrupted `sfxpack create` from leaving
// its temporary package behind.
#include "tools/signal_cleanup.h"

#include <csignal>
#include <cstdio>
#include <cstring>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace sfx::pack {
namespace {

// A fixed array, not a std::string: the handler may only read plain memory
// and call async-signal-safe functions. A longer path is not registered (its
// temporary file then stays behind on a signal, as before).
char pending_path[4096];
volatile std::sig_atomic_t pending = 0;

extern "C" void remove_and_end(int signal_number) {
    if (pending != 0) {
#ifdef _WIN32
        remove(pending_path);
#else
        unlink(pending_path);
#endif
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

}  // namespace

void install_signal_cleanup() {
    std::signal(SIGINT, remove_and_end);
    std::signal(SIGTERM, remove_and_end);
#ifdef SIGHUP
    std::signal(SIGHUP, remove_and_end);
#endif
}

#ifdef _WIN32
cleanup_signals_held::cleanup_signals_held() = default;
cleanup_signals_held::~cleanup_signals_held() = default;
#else
cleanup_signals_held::cleanup_signals_held() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGHUP);
    sigprocmask(SIG_BLOCK, &held, &previous_);
}

cleanup_signals_held::~cleanup_signals_held() {
    sigprocmask(SIG_SETMASK, &previous_, nullptr);
}
#endif

void remove_on_signal(const std::string& path) {
    pending = 0;
    if (path.empty() || path.size() >= sizeof pending_path) return;
    memcpy(pending_path, path.c_str(), path.size() + 1);
    pending = 1;
}

}  // namespace sfx::pack
