// Removing sfxpack's unfinished output when it is interrupted.
#pragma once

#include <string>

namespace sfx::pack {

// Makes SIGINT, SIGTERM and (on POSIX) SIGHUP remove the file last named by
// remove_on_signal before the process ends of the signal as it would have.
void install_signal_cleanup();

// Names the file to remove on such a signal; "" for none. At most one file
// at a time: sfxpack writes one output at a time.
void remove_on_signal(const std::string& path);

}  // namespace sfx::pack
