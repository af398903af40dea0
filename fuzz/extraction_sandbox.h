// Where the extraction fuzz target writes: a scratch directory, and a
// sentinel file beside it that no package may touch, not even through the
// symbolic link to it that waits in the scratch directory.
#pragma once

#include <string>
#include <vector>

namespace sfx::fuzz {

// Creates a fresh directory under $TMPDIR (or /tmp) holding the sentinel file
// and an empty directory "scratch", and makes scratch the current directory
// for the rest of the run. Both are removed again at a normal exit. Reports a
// finding if any of it fails.
void enter_extraction_sandbox();

// The link planted in the scratch directory, as someone who can write to a
// download folder might prepare it, and where it points.
constexpr char PLANTED_LINK_NAME[] = "LINK.TXT";
constexpr char PLANTED_LINK_TARGET[] = "../sentinel";

// Empties the scratch directory and plants the link in it.
void reset_scratch_directory();

// Removes every entry of the scratch directory.
void clear_scratch_directory();

// Reports a finding unless the directory around scratch holds exactly the
// sentinel file, with its contents as created, and scratch, and the current
// directory is still scratch.
void check_outside_scratch_unchanged();

// Every entry of the current directory but "." and "..".
std::vector<std::string> scratch_entries();

// The whole contents of the file at `path`; empty when it cannot be read.
std::string file_contents(const std::string& path);

}  // namespace sfx::fuzz
