// Escaping names and paths for the terminal, one character at a time.
#include "src/printable_text.h"

#include <cstdio>
#include <cstring>

namespace sfx {
namespace {

// The length of the well-formed UTF-8 sequence at `c` of a character from
// U+00A0 on (no overlong form, no surrogate, nothing past U+10FFFF), or 0.
size_t shown_utf8_length(const unsigned char* c) {
    size_t length = 0;
    unsigned long code = 0;
    if (c[0] >= 0xC2 && c[0] <= 0xDF) {
        length = 2;
        code = c[0] & 0x1Fu;
    } else if (c[0] >= 0xE0 && c[0] <= 0xEF) {
        length = 3;
        code = c[0] & 0x0Fu;
    } else if (c[0] >= 0xF0 && c[0] <= 0xF4) {
        length = 4;
        code = c[0] & 0x07u;
    } else {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((c[i] & 0xC0) != 0x80) return 0;  // the NUL ends a sequence too
        code = code << 6 | (c[i] & 0x3Fu);
    }
    static const unsigned long smallest[] = {0, 0, 0xA0, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

// One character of the text as it is shown: `taken` bytes of the text become
// `shown` bytes of output (the same bytes, or \xNN for one byte).
struct shown_unit {
    size_t taken;
    size_t shown;
};

shown_unit unit_at(const unsigned char* c) {
    if (*c >= 0x20 && *c < 0x7F) return {1, 1};
    if (size_t length = shown_utf8_length(c)) return {length, length};
    return {1, 4};
}

// Appends the unit at `c` to `out` at `used`.
void put_unit(const unsigned char* c, shown_unit unit, char* out, size_t& used) {
    if (unit.shown == 4 && unit.taken == 1)
        snprintf(out + used, 5, "\\x%02X", *c);
    else
        memcpy(out + used, c, unit.taken);
    used += unit.shown;
}

constexpr char ELISION[] = "...";
constexpr size_t ELISION_LENGTH = sizeof ELISION - 1;

}  // namespace

const char* printable_text(const char* text, char* out, size_t size) {
    if (size == 0) return out;
    const auto* begin = reinterpret_cast<const unsigned char*>(text);
    const size_t length = strlen(text);
    size_t whole = 0;
    for (size_t at = 0; at < length;) {
        shown_unit unit = unit_at(begin + at);
        whole += unit.shown;
        at += unit.taken;
    }
    size_t used = 0;
    if (whole < size) {
        for (size_t at = 0; at < length;) {
            shown_unit unit = unit_at(begin + at);
            put_unit(begin + at, unit, out, used);
            at += unit.taken;
        }
        out[used] = '\0';
        return out;
    }
    // Too long: as much of the start as half the room holds, "...", then the
    // longest end of the text that fits the rest.
    const size_t room = size - 1 > ELISION_LENGTH ? size - 1 - ELISION_LENGTH : 0;
    size_t head_end = 0;
    for (size_t at = 0; at < length;) {
        shown_unit unit = unit_at(begin + at);
        if (used + unit.shown > room / 2) break;
        put_unit(begin + at, unit, out, used);
        at += unit.taken;
        head_end = at;
    }
    const size_t tail_room = room - used;
    if (used + ELISION_LENGTH < size) {
        memcpy(out + used, ELISION, ELISION_LENGTH);
        used += ELISION_LENGTH;
    }
    // The tail starts at the first unit boundary after head_end from which
    // the rest fits.
    size_t tail_start = head_end;
    size_t tail_shown = whole;
    for (size_t at = 0; at < head_end;) {
        shown_unit unit = unit_at(begin + at);
        tail_shown -= unit.shown;
        at += unit.taken;
    }
    while (tail_start < length && tail_shown > tail_room) {
        shown_unit unit = unit_at(begin + tail_start);
        tail_shown -= unit.shown;
        tail_start += unit.taken;
    }
    for (size_t at = tail_start; at < length;) {
        shown_unit unit = unit_at(begin + at);
        put_unit(begin + at, unit, out, used);
        at += unit.taken;
    }
    out[used] = '\0';
    return out;
}

}  // namespace sfx
