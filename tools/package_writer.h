// Writing a package file: the stub image, zero fill, the table marker, the
// table and the bodies, laid out by plan_package.
#pragma once

#include <string>
#include <vector>

#include "tools/pack_item.h"

namespace sfx::pack {

struct package_request {
    std::string output_path;       // the package file to write
    std::string stub_path;         // the executable image it starts with
    std::vector<pack_item> items;  // the entries, in table order
    bool require_setup = true;     // refuse a package without SETUP.EXE
    bool integrity_record = true;  // write the integrity record before the marker
};

// Writes the package that `request` describes, or refuses it. Refused: more
// than 12 items, a name that fails the stub's name rule, two names that
// differ at most in letter case, no SETUP.EXE while one is required, an input
// or stub that is not a readable regular file, an output path that is the
// stub or one of the inputs, a stub image that holds the
// table marker, a package of 2 GiB or more (known from the sizes before any
// body is written), and an input whose size changes while it is read.
// Bodies are streamed through one fixed buffer. The package is written beside
// the output path and renamed over it only when complete, so on failure no
// output file is left and an existing one is untouched. Returns false with
// one line (naming the file concerned, no newline) in `error`.
bool create_package(const package_request& request, std::string& error);

}  // namespace sfx::pack
