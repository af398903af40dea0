// A stand-in for a package's SETUP.EXE in end-to-end tests under Wine. It
// records how it was started in SETUP.LOG in its current directory, three
// lines:
//   command line: <its command line as the system hands it over>
//   directory: <its current directory>
//   variable: <the value of SFX_TEST_VARIABLE, empty when unset>
// and exits with status 0. The log is written under a temporary name and then
// renamed, so a test that polls for SETUP.LOG never reads half of it.
#include <windows.h>

#include <cstdio>

namespace {

constexpr char LOG_NAME[] = "SETUP.LOG";
constexpr char TEMPORARY_NAME[] = "SETUP.LOG.part";

}  // namespace

int main() {
    char directory[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(sizeof directory, directory);
    char variable[1024] = {};
    GetEnvironmentVariableA("SFX_TEST_VARIABLE", variable, sizeof variable);

    FILE* log = fopen(TEMPORARY_NAME, "wb");
    if (log == nullptr) {
        fprintf(stderr, "setup_recorder: unable to create %s.\n", TEMPORARY_NAME);
        return 1;
    }
    fprintf(log, "command line: %s\ndirectory: %s\nvariable: %s\n", GetCommandLineA(), directory,
            variable);
    if (fclose(log) != 0 || !MoveFileExA(TEMPORARY_NAME, LOG_NAME, MOVEFILE_REPLACE_EXISTING)) {
        fprintf(stderr, "setup_recorder: unable to write %s.\n", LOG_NAME);
        return 1;
    }
    return 0;
}
