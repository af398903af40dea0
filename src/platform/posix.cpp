// POSIX implementation of the platform operations (Linux).
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "src/platform/platform.h"
#include "src/stub.h"

extern char** environ;

namespace sfx {

const char* own_executable_path() {
    static char path[PATH_MAX + 1];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    // A result that fills the buffer may have been cut short.
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return nullptr;
    path[length] = '\0';
    return path;
}

FILE* open_output_file(const char* name) {
    // SETUP.EXE must be executable to be started; the umask trims both modes.
    bool setup_program = strcmp(name, SETUP_PROGRAM_NAME) == 0;
    mode_t mode = setup_program ? 0777 : 0666;
    int descriptor = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
    if (descriptor < 0) return nullptr;
    if (setup_program) {
        // An existing file keeps its mode when it is cut to zero length: a
        // SETUP.EXE left without its execute bit would not start. Give it
        // the mode a new one gets. Like the start itself, this is not checked.
        mode_t mask = umask(0);
        umask(mask);
        fchmod(descriptor, 0777 & ~mask);
    }
    FILE* stream = fdopen(descriptor, "wb");
    if (stream == nullptr) close(descriptor);
    return stream;
}

void start_setup_program() {
    // posix_spawn, unlike posix_spawnp, takes a path without a slash
    // relative to the current directory and never consults PATH.
    char program[sizeof "SETUP.EXE"];
    memcpy(program, SETUP_PROGRAM_NAME, sizeof program);
    char* arguments[] = {program, nullptr};
    pid_t child;
    posix_spawn(&child, SETUP_PROGRAM_NAME, nullptr, nullptr, arguments, environ);
}

}  // namespace sfx
