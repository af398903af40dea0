// The operations that differ between operating systems. One source file per
// platform implements them: posix.cpp and windows.cpp.
#pragma once

#include <cstdio>

namespace sfx {

// The full path of the running executable as the operating system records it,
// independent of the command line (a relative start, a link, a foreign
// argv[0]). Null when it cannot be had, or does not fit: never a truncated
// path. The text lives in static storage.
const char* own_executable_path();

// Opens `name` in the current directory for binary writing, creating it or
// cutting it to zero length. Never writes through a symbolic link. SETUP.EXE
// is created runnable where the system needs a permission for that. Null when
// the file cannot be opened.
FILE* open_output_file(const char* name);

// Starts SETUP.EXE from the current directory (no search path) with the
// command line "SETUP.EXE" alone, the stub's environment and current
// directory, and none of its open files; returns without waiting and without
// reporting whether the start worked.
void start_setup_program();

}  // namespace sfx
