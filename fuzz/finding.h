// Reporting a broken property from inside a fuzz target.
#pragma once

namespace sfx::fuzz {

// Writes "finding: " and the formatted message to standard error and aborts.
// libFuzzer treats the abort as a crash and saves the input that caused it,
// so an oracle failure is kept and reported exactly like a sanitizer error.
[[noreturn]] void report_finding(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace sfx::fuzz
