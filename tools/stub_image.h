// Which stub image a package starts with: the stubs built or installed with
// sfxpack, by target name, or an image the user names, checked to be a stub.
#pragma once

#include <string>

namespace sfx::pack {

// The target `create` uses when none is named: the 32-bit Windows stub, the
// program that is shipped.
constexpr const char DEFAULT_TARGET[] = "windows-i686";

// Finds the stub image of `target` (windows-i686, windows-x86_64 or native)
// that was installed with sfxpack (PREFIX/share/sfx/stubs/TARGET/) or built
// beside it (build/PRESET/bin/). False with a one-line reason, saying how to
// build a missing one, in `error`.
bool locate_stub(const std::string& target, std::string& path, std::string& error);

// True when the file at `path` is a program image (a PE or an ELF header)
// that carries both halves of the table marker as separate strings, as every
// stub does. False with a one-line reason in `error`.
bool check_stub_image(const std::string& path, std::string& error);

}  // namespace sfx::pack
