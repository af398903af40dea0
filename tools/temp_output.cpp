// An output file written under a temporary name and renamed into place when complete.
#include "tools/temp_output.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "tools/signal_cleanup.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace sfx::pack {
namespace {

// Opens `path` for binary writing only if no file of that name exists, so a
// name that someone else took in the meantime is never overwritten.
FILE* create_exclusive(const std::string& path) {
#ifdef _WIN32
    int descriptor =
        _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (descriptor < 0) return nullptr;
    FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) _close(descriptor);
#else
    // The kernel applies the umask to 0777.
    int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0777);
    if (descriptor < 0) return nullptr;
    FILE* stream = fdopen(descriptor, "wb");
    if (stream == nullptr) close(descriptor);
#endif
    return stream;
}

}  // namespace

temp_output::~temp_output() {
    if (!committed_) discard();
}

bool temp_output::create(const std::string& final_path, std::string& error) {
    final_path_ = final_path;
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(entropy()));
        temp_path_ = final_path + suffix;
        cleanup_signals_held held;
        stream_ = create_exclusive(temp_path_);
        if (stream_ != nullptr) {
            remove_on_signal(temp_path_);
            return true;
        }
        if (errno != EEXIST) break;
    }
    error = final_path + ": cannot create the package file: " + strerror(errno);
    temp_path_.clear();
    return false;
}

bool temp_output::commit(std::string& error) {
    // The flush writes out what is still buffered, so it can fail too (a
    // full disk); a write that failed earlier leaves the error flag set. Both
    // are checked before the close, since a C library may report success
    // from a close whose own flush failed.
    bool flushed = fflush(stream_) == 0;
    const char* reason = flushed ? "a write failed" : strerror(errno);
    bool had_error = !flushed || ferror(stream_) != 0;
    bool closed = fclose(stream_) == 0;
    if (!had_error && !closed) reason = strerror(errno);
    stream_ = nullptr;
    if (had_error || !closed) {
        error = final_path_ + ": cannot write the package file: " + reason;
        discard();
        return false;
    }
    // std::filesystem::rename replaces an existing file on Windows too, where
    // std::rename would fail.
    std::error_code failure;
    std::filesystem::rename(temp_path_, final_path_, failure);
    if (failure) {
        error = final_path_ + ": cannot replace the package file: " + failure.message();
        discard();
        return false;
    }
    remove_on_signal("");
    committed_ = true;
    return true;
}

void temp_output::discard() {
    if (stream_ != nullptr) fclose(stream_);
    stream_ = nullptr;
    if (!temp_path_.empty()) remove(temp_path_.c_str());
    remove_on_signal("");
    temp_path_.clear();
}

}  // namespace sfx::pack
