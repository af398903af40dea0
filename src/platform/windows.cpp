// Windows implementation of the platform operations. Everything here comes
// from KERNEL32.dll and msvcrt.dll, the only two libraries the stub imports.
#include <fcntl.h>
#include <io.h>
#include <string.h>
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

// The path as the system holds it, in UTF-16: the ANSI form would replace
// characters outside the code page by look-alikes ("č" by "c") and so name a
// different file, or none.
wchar_t own_path[OWN_PATH_ROOM];

constexpr WORD SHOW_DEFAULT = 10;  // SW_SHOWDEFAULT

// Hands `file`, open for writing, to msvcrt as a binary stream that owns it;
// closes it and returns null when that fails.
FILE* binary_write_stream(HANDLE file) {
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) _close(descriptor);
    return stream;
}

}  // namespace

const char* own_executable_path() {
    DWORD length = GetModuleFileNameW(nullptr, own_path, OWN_PATH_ROOM);
    // A path that fills the room has been cut short (and older systems leave
    // it without a terminator): opening it could open some other file.
    if (length == 0 || length >= OWN_PATH_ROOM) return nullptr;
    // For messages only, in UTF-8, which holds every character of the path.
    static char shown[3 * OWN_PATH_ROOM];
    if (WideCharToMultiByte(CP_UTF8, 0, own_path, -1, shown, sizeof shown, nullptr, nullptr) == 0)
        return nullptr;
    return shown;
}

FILE* open_own_executable() {
    return _wfopen(own_path, L"rb");
}

FILE* create_temporary_output(const char*, char* temporary_name) {
    static unsigned counter;
    for (int attempt = 0; attempt < 100; ++attempt) {
        snprintf(temporary_name, TEMPORARY_NAME_ROOM, "~sfx%lu-%u.tmp", GetCurrentProcessId(),
                 counter++);
        // CREATE_NEW never opens an existing file or follows a link of that
        // name.
        HANDLE file = CreateFileA(temporary_name, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            FILE* stream = binary_write_stream(file);
            if (stream == nullptr) DeleteFileA(temporary_name);
            return stream;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
    }
    return nullptr;
}

bool may_replace_output(const char* name) {
    DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
    // A symbolic link or junction stays: the package never replaces or
    // writes through one.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    // A read-only file stays, as it would for an open for writing. Windows'
    // MoveFileEx refuses to replace one anyway; Wine's does not.
    if (attributes & FILE_ATTRIBUTE_READONLY) return false;
    // The name may be an 8.3 alias ("IMPO~IVP.DOC") of a file with another
    // long name, which the rename would replace; only the file's own name,
    // in any letter case, may be replaced.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(name, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return _stricmp(found.cFileName, name) == 0;
}

bool replace_output(const char* temporary_name, const char* final_name) {
    // Fails for a read-only file or a directory of that name, as opening it
    // for writing would.
    return MoveFileExA(temporary_name, final_name, MOVEFILE_REPLACE_EXISTING) != 0;
}

void ignore_write_signals() {
    // Windows raises no signal for a failed write.
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
