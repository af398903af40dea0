// One ITEM of `sfxpack create`: which file to pack, under which entry name.
#pragma once

#include <string>

namespace sfx::pack {

struct pack_item {
    std::string name;  // the entry name stored in the table
    std::string path;  // the file whose bytes become the body
};

// Splits "NAME=FILE" at its first '=', so a path may hold '=' but a name
// given this way cannot; a plain "FILE" is stored under its base name (the
// part after the last '/' or, on Windows, '\' or ':'). The name is not checked
// here: the packer applies the stub's name rule to every name alike.
pack_item parse_pack_item(const std::string& item);

}  // namespace sfx::pack
