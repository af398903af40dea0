// Windows implementation of the platform operations. Everything here comes
// from KERNEL32.dll and msvcrt.dll, the only two libraries the stub imports.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "src/platform/platform.h"
#include "src/stub.h"

namespace sfx {
namespace {

// The start-up record and the process record of the one CreateProcessA call;
// zero in every field until the launch writes the two that it needs.
STARTUPINFOA startup_record;
PROCESS_INFORMATION process_record;

#if defined(_M_IX86) || defined(__i386__)
// The release stub is 32-bit, where the record is 68 bytes; cb tells the
// system which layout it was given.
static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA has its 32-bit layout");
#endif

// Room for 255 characters, the terminator included.
constexpr DWORD OWN_PATH_ROOM = 255;

constexpr WORD SHOW_DEFAULT = 10;  // SW_SHOWDEFAULT

}  // namespace

const char* own_executable_path() {
    static char path[OWN_PATH_ROOM];
    DWORD length = GetModuleFileNameA(nullptr, path, OWN_PATH_ROOM);
    // A path that fills the room has been cut short (and older systems leave
    // it without a terminator): opening it could open some other file.
    if (length == 0 || length >= OWN_PATH_ROOM) return nullptr;
    return path;
}

FILE* open_output_file(const char* name) {
    // Opened without truncating first, so that a name that turns out to be a
    // symbolic link or junction is refused before anything is lost; the
    // reparse point itself is opened, never its target.
    HANDLE file =
        CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION information;
    bool plain_file = GetFileInformationByHandle(file, &information) &&
                      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    // An existing file is replaced whole: cut it to zero length.
    if (!plain_file || !SetEndOfFile(file)) {
        CloseHandle(file);
        return nullptr;
    }
    // Hand the handle to msvcrt as a binary stream; from here the stream owns it.
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) _close(descriptor);
    return stream;
}

void start_setup_program() {
    startup_record.cb = sizeof startup_record;
    // Not applied, since dwFlags stays 0: the setup program opens its window
    // in its own default way.
    startup_record.wShowWindow = SHOW_DEFAULT;
    // The application name without a directory is taken from the current
    // directory only; a null command line gives the program "SETUP.EXE" alone.
    // The outcome is not looked at: the stub exits with status 0 either way.
    CreateProcessA(SETUP_PROGRAM_NAME, nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                   nullptr, nullptr, &startup_record, &process_record);
}

}  // namespace sfx
