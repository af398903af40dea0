#include "src/printable_text.h"

#include <cstdio>

namespace sfx {

const char* printable_text(const char* text, char* out, size_t size) {
    size_t used = 0;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        bool plain = *c >= 0x20 && *c < 0x7F;
        size_t needed = plain ? 1 : 4;
        if (used + needed >= size) break;
        if (plain)
            out[used] = static_cast<char>(*c);
        else
            snprintf(out + used, 5, "\\x%02X", *c);
        used += needed;
    }
    if (size > 0) out[used] = '\0';
    return out;
}

}  // namespace sfx
