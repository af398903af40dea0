// Where the bodies of a package end when the package carries a code signature.
#pragma once

#include <cstdint>

namespace sfx {

// Returns the length of the package's payload: `file_length`, unless the
// executable image at the start of image_stream is a PE file (PE32 or PE32+)
// whose security directory names a certificate table that ends exactly at
// `file_length`; then the offset where that table starts, so that a signature
// appended after packing does not become part of the last body. Anything else
// (an ELF or a damaged image, a table that ends elsewhere) leaves
// `file_length`. Reads only bytes the stream delivers, through io_buffer, and
// leaves image_stream at an unspecified position.
int32_t payload_length(int32_t file_length);

}  // namespace sfx
