// Runs the built sfxpack for the packer's tests and collects what it did.
#pragma once

#include <string>
#include <vector>

namespace sfx_test {

struct PackerRun {
    int status = -1;  // the exit status; 128 + signal number when killed
    std::string standard_output;
    std::string standard_error;
};

// Runs SFX_BIN_DIR/sfxpack with `arguments` in `directory`, under umask 022
// so that the modes of created files are known, and waits for it.
PackerRun run_packer(const std::vector<std::string>& arguments, const std::string& directory);

// The names in `directory`, sorted; "." and ".." left out.
std::vector<std::string> directory_names(const std::string& directory);

}  // namespace sfx_test
