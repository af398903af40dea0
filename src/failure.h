// The failure text through which every reading step reports. A step that
// fails leaves one line here and returns false; its caller decides how to
// show it (the stub prints it and exits, sfxpack prefixes its own name).
#pragma once

#include <cstddef>

namespace sfx {

// Room for one failure message, a path included.
constexpr size_t FAILURE_TEXT_SIZE = 1024;

// The latest failure's message, ending in ".\n"; empty when none.
extern char failure_text[FAILURE_TEXT_SIZE];

// Formats a message into failure_text (printf-style) and returns false, so a
// step can `return set_failure(...)`.
bool set_failure(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace sfx
