// POSIX implementation of the platform operations (Linux).
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

FILE* open_own_executable() {
    // The link opens the running program's file even when its path has been
    // renamed over or removed since the start: reading the path again would
    // open whatever bears that name now.
    return fopen("/proc/self/exe", "rb");
}

FILE* create_temporary_output(const char* final_name, char* temporary_name) {
    // SETUP.EXE must be executable to be started; the umask trims both modes.
    mode_t mode = strcmp(final_name, SETUP_PROGRAM_NAME) == 0 ? 0777 : 0666;
    static unsigned counter;
    for (int attempt = 0; attempt < 100; ++attempt) {
        snprintf(temporary_name, TEMPORARY_NAME_ROOM, ".sfx%ld-%u.tmp", static_cast<long>(getpid()),
                 counter++);
        // O_EXCL also refuses a link of that name, dangling or not.
        int descriptor =
            open(temporary_name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (descriptor < 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        FILE* stream = fdopen(descriptor, "wb");
        if (stream == nullptr) {
            close(descriptor);
            unlink(temporary_name);
        }
        return stream;
    }
    return nullptr;
}

bool may_replace_output(const char* name) {
    struct stat status;
    if (lstat(name, &status) != 0) return errno == ENOENT;
    if (S_ISLNK(status.st_mode)) return false;
    // The package itself, started from the current directory, stays: the
    // rename would replace the user's download with one of its entries.
    // (Windows refuses to replace a running program's file on its own.)
    struct stat own;
    if (stat("/proc/self/exe", &own) == 0 && own.st_dev == status.st_dev &&
        own.st_ino == status.st_ino)
        return false;
    // A file the user could not have written stays as it is (a read-only
    // file, one of another user): the rename would replace it regardless.
    // Only directory entries that are no file at all (a FIFO, a device) are
    // replaced without asking, since opening them would block or write
    // elsewhere.
    if (S_ISREG(status.st_mode)) return access(name, W_OK) == 0;
    return true;
}

bool replace_output(const char* temporary_name, const char* final_name) {
    return rename(temporary_name, final_name) == 0;
}

void ignore_write_signals() {
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
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
