// The exit statuses of sfxpack, for scripts that call it.
#pragma once

namespace sfx::pack {

constexpr int EXIT_OK = 0;         // the command did what was asked
constexpr int EXIT_BAD_INPUT = 1;  // a bad package, a refused input, or an I/O failure
constexpr int EXIT_USAGE = 2;      // the command line itself is wrong

}  // namespace sfx::pack
