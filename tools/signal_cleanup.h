// Removing sfxpack's unfinished output when it is interrupted.
#pragma once

#include <string>

#ifndef _WIN32
#include <signal.h>
#endif

namespace sfx::pack {

// Makes SIGINT, SIGTERM and (on POSIX) SIGHUP remove the file last named by
// remove_on_signal before the process ends of the signal as it would have.
void install_signal_cleanup();

// Names the file to remove on such a signal; "" for none. At most one file
// at a time: sfxpack writes one output at a time.
void remove_on_signal(const std::string& path);

// Holds back SIGINT, SIGTERM and SIGHUP for its lifetime (POSIX), so that a
// file can be created and named to remove_on_signal with no moment between
// in which a signal would leave it behind.
class cleanup_signals_held {
public:
    cleanup_signals_held();
    ~cleanup_signals_held();
    cleanup_signals_held(const cleanup_signals_held&) = delete;
    cleanup_signals_held& operator=(const cleanup_signals_held&) = delete;

private:
#ifndef _WIN32
    sigset_t previous_;
#endif
};

}  // namespace sfx::pack
