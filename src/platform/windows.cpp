// Windows implementation of the platform operations.
#include <windows.h>

#include <cstdio>

#include "../stub.h"
#include "platform.h"

namespace sfx {
namespace {

// The start-up record and the process record of the one CreateProcessA call.
STARTUPINFOA startup_record;
PROCESS_INFORMATION process_record;

}  // namespace

const char* own_executable_path() {
    // Room for 255 characters, the terminator included.
    static char path[255];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    // A result that fills the buffer has been cut short.
    if (length == 0 || length >= sizeof path) return nullptr;
    return path;
}

FILE* open_output_file(const char* name) { return fopen(name, "wb"); }

void start_setup_program() {
    startup_record.cb = sizeof startup_record;
    startup_record.wShowWindow = 10;  // SW_SHOWDEFAULT; not applied, since dwFlags stays 0
    CreateProcessA(SETUP_PROGRAM_NAME, nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                   nullptr, nullptr, &startup_record, &process_record);
}

}  // namespace sfx
