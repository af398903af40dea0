// Where the bodies of a package end when the package carries a code signature.
#pragma once

#include <cstdint>

namespace sfx {

// Returns the length of the package's payload: `file_length`, unless the
// executable image at the start of image_stream is a PE file whose security
// directory names a certificate table that ends exactly at the end of the
// file; then the offset where that table starts, so that a signature appended
// after packing does not become part of the last body. Uses io_buffer and
// moves image_stream.
int32_t payload_length(int32_t file_length);

}  // namespace sfx
