// Turning one ITEM of `sfxpack create` into an entry name and a file path.
#include "tools/pack_item.h"

namespace sfx::pack {

pack_item parse_pack_item(const std::string& item) {
    size_t equals = item.find('=');
    if (equals != std::string::npos) return {item.substr(0, equals), item.substr(equals + 1)};
#ifdef _WIN32
    const char* separators = "/\\:";
#else
    const char* separators = "/";
#endif
    size_t separator = item.find_last_of(separators);
    std::string base = separator == std::string::npos ? item : item.substr(separator + 1);
    return {base, item};
}

}  // namespace sfx::pack
