// The reading side of sfxpack: list, verify and extract a package with the
// very steps the stub runs (through reader_session), so that what they accept
// the stub accepts and what they refuse it refuses. Each reports to `errors`,
// one line per problem, prefixed "sfxpack: ", and returns an exit status
// (exit_status.h). One runs at a time, as one reader_session may.
#pragma once

#include <cstdio>

namespace sfx::pack {

// Prints the table of the package at `path` to `out`: the marker's and the
// table's position, where the bodies run, and per record its number, name,
// offset and size; as one JSON document when `json` is set. A package whose
// table the stub would refuse is reported, not listed.
int list_package(const char* path, bool json, FILE* out, FILE* errors);

// Checks the package at `path` against every rule the stub enforces, each
// record on its own so that every breach is reported, and against the rules
// of package_rules.h (SETUP.EXE only when `require_setup`). Prints a summary
// to `out` when the package is sound, and returns EXIT_OK only then.
int verify_package(const char* path, bool require_setup, FILE* out, FILE* errors);

// Writes every entry of the package at `path` into `directory` (the current
// directory when null) exactly as the stub would, nothing when the table is
// refused, and starts nothing.
int extract_package(const char* path, const char* directory, FILE* errors);

}  // namespace sfx::pack
