// The failure text shared by every reading step.
#include "src/failure.h"

#include <cstdarg>
#include <cstdio>

namespace sfx {

char failure_text[FAILURE_TEXT_SIZE];

bool set_failure(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(failure_text, sizeof failure_text, format, arguments);
    va_end(arguments);
    return false;
}

}  // namespace sfx
