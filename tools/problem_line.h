// How sfxpack reports a problem: one line on an errors stream, prefixed
// "sfxpack: ", with every name and path in it made safe for the terminal.
#pragma once

#include <cstdio>
#include <string>

namespace sfx::pack {

// Writes "sfxpack: " and `text` to `errors` as one line: control characters
// escaped (printable_text, never shortened), one newline at the end whether
// or not `text` ends in one.
void report_problem(FILE* errors, const std::string& text);

// `text` as it may be shown on a terminal, whole.
std::string shown(const std::string& text);

}  // namespace sfx::pack
