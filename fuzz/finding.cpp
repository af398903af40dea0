#include "fuzz/finding.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace sfx::fuzz {

void report_finding(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    fputs("finding: ", stderr);
    vfprintf(stderr, format, arguments);
    fputc('\n', stderr);
    va_end(arguments);
    abort();
}

}  // namespace sfx::fuzz
