// The one rule for names of packed files, used by the stub before it writes
// anything and by the packer before it stores a name.
#pragma once

namespace sfx {

// Returns null when `name` may be written as a file in the current directory
// on every platform the stub runs on; otherwise a short reason, such as
// "contains a path separator". A safe name has 1 to 12 characters, no path
// separator or drive colon, no control character, none of the characters
// that Windows refuses in names (< > " | ? *), is not "." or "..", does not
// end in a point or a blank, and is not a reserved device name (CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, COM1-COM9, LPT1-LPT9 and the ports numbered
// with a superscript one to three, in any letter case, with or without an
// extension).
const char* entry_name_problem(const char* name);

}  // namespace sfx
