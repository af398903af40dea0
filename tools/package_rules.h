// Rules a sound package keeps beyond those the stub's table check enforces.
// The packer refuses to write a package that breaks them, and `verify`
// reports a package that does, so both judge by the same code.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sfx::pack {

// Looks for two names that differ at most in ASCII letter case: on Windows
// they are one file, and the later entry would silently replace the earlier.
// Returns true and sets `first` < `second` (indexes into `names`) for the
// first such pair.
bool find_case_duplicate(const std::vector<std::string>& names, size_t& first, size_t& second);

// True when one of `names` is exactly SETUP.EXE, the program the stub starts.
bool has_setup_program(const std::vector<std::string>& names);

}  // namespace sfx::pack
