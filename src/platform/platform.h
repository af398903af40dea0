// The operations that differ between operating systems. One source file per
// platform implements them: posix.cpp and windows.cpp.
#pragma once

#include <cstddef>
#include <cstdio>

namespace sfx {

// The full path of the running executable as the operating system records it,
// independent of the command line (a relative start, a link, a foreign
// argv[0]), as text to show in messages (on Windows converted to UTF-8). Null
// when it cannot be had, or does not fit: never a truncated path. The text
// lives in static storage.
const char* own_executable_path();

// Opens the running executable's own file for binary reading, the very file
// the system started, not whatever its path names by now. Null when it cannot
// be opened. Call own_executable_path first.
FILE* open_own_executable();

// Room for a temporary output file's name, its NUL included.
constexpr size_t TEMPORARY_NAME_ROOM = 32;

// Creates a new file of a fresh name (written into `temporary_name`) in the
// current directory, for binary writing: never a file that exists, never
// through a link. It is to become the file `final_name`, and gets the mode
// a new file of that name would (SETUP.EXE runnable where the system needs a
// permission for that). Null when no such file can be created.
FILE* create_temporary_output(const char* final_name, char* temporary_name);

// False when the entry `name` must not be replaced in the current directory:
// it is a symbolic link (or a reparse point), the running program's own
// file, an existing file that the stub could not open for writing
// (read-only), or on Windows a short-name alias of a file whose long name
// differs.
bool may_replace_output(const char* name);

// Renames `temporary_name` to `final_name` in the current directory,
// replacing a file of that name as a directory entry (whatever it was: a
// link, a hard link, a FIFO, a device node); false when that fails.
bool replace_output(const char* temporary_name, const char* final_name);

// Turns the signals that a failed write would raise (a file-size limit, a
// closed pipe) into ordinary write errors, so that a failure is reported and
// cleaned up instead of killing the process.
void ignore_write_signals();

// Starts SETUP.EXE from the current directory (no search path) with the
// command line "SETUP.EXE" alone, the stub's environment and current
// directory, and none of its open files; returns without waiting and without
// reporting whether the start worked.
void start_setup_program();

}  // namespace sfx
