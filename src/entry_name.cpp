#include "src/entry_name.h"

#include <cstring>

#include "src/stub.h"

namespace sfx {
namespace {

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows opens the device, not a file, for these names whatever extension
// follows, and it ignores blanks before the extension ("NUL .TXT"). CONIN$
// and CONOUT$ are the console: an entry of that name would be shown, not
// written.
bool is_reserved_device_name(const char* name) {
    size_t stem = strcspn(name, ".");
    while (stem > 0 && name[stem - 1] == ' ')
        --stem;
    char upper_stem[MAX_NAME_LENGTH + 1] = {};
    for (size_t i = 0; i < stem && i < static_cast<size_t>(MAX_NAME_LENGTH); ++i)
        upper_stem[i] = upper(name[i]);
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : devices)
        if (strcmp(upper_stem, device) == 0) return true;
    if (stem != 4) return false;
    bool numbered_port = strncmp(upper_stem, "COM", 3) == 0 || strncmp(upper_stem, "LPT", 3) == 0;
    // Windows takes the superscript digits one to three (0xB9, 0xB2, 0xB3 in
    // the Western code page) for port numbers too: "COM\xB9" is COM1.
    unsigned char number = static_cast<unsigned char>(upper_stem[3]);
    bool port_digit =
        (number >= '1' && number <= '9') || number == 0xB9 || number == 0xB2 || number == 0xB3;
    return numbered_port && port_digit;
}

}  // namespace

const char* entry_name_problem(const char* name) {
    size_t length = strlen(name);
    if (length == 0) return "is empty";
    if (length > static_cast<size_t>(MAX_NAME_LENGTH)) return "is longer than 12 characters";
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F) return "contains a control character";
        if (c == '/' || c == '\\') return "contains a path separator";
        if (c == ':') return "contains a drive or stream colon";
        if (strchr("<>\"|?*", c) != nullptr)
            return "contains a character that Windows refuses in names";
    }
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return "names a directory";
    if (name[length - 1] == '.' || name[length - 1] == ' ') return "ends in a point or a blank";
    if (is_reserved_device_name(name)) return "is a reserved device name";
    return nullptr;
}

}  // namespace sfx
