// libFuzzer's path arguments, made independent of the working directory.
#pragma once

namespace sfx::fuzz {

// For a target that changes its working directory at start-up, where
// relative paths given to libFuzzer would then point elsewhere: corpus
// directories and new inputs, crash files, dictionaries. To be called from
// LLVMFuzzerInitialize, which libFuzzer runs before it parses its arguments.
// Replaces every relative argument that is not a flag, and the relative value
// of every flag that names a path (-artifact_prefix=, -exact_artifact_path=,
// -dict=, -features_dir=), by the same path under the current directory.
// The new argument vector lives in static storage.
void make_path_arguments_absolute(int* argc, char*** argv);

}  // namespace sfx::fuzz
