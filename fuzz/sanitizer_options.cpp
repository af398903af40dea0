// Defaults for AddressSanitizer in every fuzz target, linked into each
// executable (an archive member would not be pulled in just to replace the
// runtime's weak default). ASAN_OPTIONS still overrides them.
//
// The default quarantine holds 256 MiB of freed memory back from reuse, so
// the stream buffers that every input allocates keep landing on fresh pages,
// and the page faults cost more than the code under test: with 8 MiB the
// targets run two to three times faster. The code under test frees next to
// nothing, so a use after free still falls well within the quarantine.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=8";
}
