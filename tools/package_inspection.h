// The reading side of sfxpack: list, verify and extract a package with the
// very steps the stub runs (through reader_session), so that what they accept
// the stub accepts and what they refuse it refuses. Each reports to `errors`,
// one line per problem, prefixed "sfxpack: ", and returns an exit status
// (exit_status.h). One runs at a time, as one reader_session may.
#pragma once

#include <cstdio>

namespace sfx::pack {

// Prints the table of the package at `path` to `out`: its length and whether
// it is signed, the marker's and the table's position, where the bodies run,
// whether it carries an integrity record, and per record its number, name,
// offset, size and checksum; as one JSON document when `json` is set. A
// package whose table the stub would refuse is reported, not listed (with
// `json`, as a document holding the error).
int list_package(const char* path, bool json, FILE* out, FILE* errors);

// Checks the package at `path` against every rule the stub enforces, each
// record on its own so that every breach is reported, and against the rules
// of package_rules.h (SETUP.EXE only when `require_setup`), and every body
// against its integrity record. Prints a summary to `out` when the package is
// sound (with `json`, a verdict either way), and returns EXIT_OK only then.
int verify_package(const char* path, bool require_setup, bool json, FILE* out, FILE* errors);

// Writes every entry of the package at `path` into `directory` (the current
// directory when null, created when missing) exactly as the stub would,
// nothing when the table is refused, and starts nothing. Names each file
// written on `out`, unless it is null.
int extract_package(const char* path, const char* directory, FILE* out, FILE* errors);

}  // namespace sfx::pack
