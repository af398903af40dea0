#include "tests/support/packer_runner.h"

namespace sfx::test {

process_result run_packer(const std::vector<std::string>& arguments, const std::string& directory,
                          process_request request) {
    request.what = "sfxpack";
    request.executable = SFX_BIN_DIR "/sfxpack";
    request.arguments = {request.executable};
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    request.directory = directory;
    return run_process(request);
}

}  // namespace sfx::test
