// Runs the built sfxpack for the packer's end-to-end tests.
#pragma once

#include <string>
#include <vector>

#include "tests/support/process_runner.h"

namespace sfx::test {

// Runs SFX_BIN_DIR/sfxpack with `arguments` (after the program name) in
// `directory` through run_process, and waits for it.
process_result run_packer(const std::vector<std::string>& arguments, const std::string& directory);

}  // namespace sfx::test
