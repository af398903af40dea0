#include "code_signature.h"

namespace sfx {

int32_t payload_length(int32_t file_length) { return file_length; }

}  // namespace sfx
