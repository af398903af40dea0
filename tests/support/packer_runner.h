// Runs the built sfxpack for the packer's end-to-end tests.
#pragma once

#include <string>
#include <vector>

#include "tests/support/process_runner.h"

namespace sfx::test {

// Runs SFX_BIN_DIR/sfxpack with `arguments` (after the program name) in
// `directory` through run_process, and waits for it. `request` may set how it
// runs (a file-size limit, a call while it runs); the program, its arguments
// and directory are filled in here.
process_result run_packer(const std::vector<std::string>& arguments, const std::string& directory,
                          process_request request = {});

}  // namespace sfx::test
