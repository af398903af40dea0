#include "tests/support/package_bytes.h"

#include "src/stub.h"

namespace sfx::test {

std::string table_marker() {
    return std::string(sfx::marker_vendor) + sfx::marker_suffix;
}

std::string stub_like_image(size_t size) {
    std::string image(size, '\0');
    image.replace(0, 2, "MZ");
    const std::string vendor = std::string(sfx::marker_vendor) + '\0';
    const std::string suffix = std::string(sfx::marker_suffix) + '\0';
    image.replace(8, vendor.size(), vendor);
    image.replace(8 + vendor.size() + 4, suffix.size(), suffix);
    return image;
}

std::string le32(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    std::string field;
    for (int shift = 0; shift < 32; shift += 8)
        field += static_cast<char>((bits >> shift) & 0xFF);
    return field;
}

void append_le32(std::string& bytes, int32_t value) {
    bytes += le32(value);
}

void put_le32(std::string& bytes, size_t at, uint32_t value) {
    bytes.replace(at, 4, le32(static_cast<int32_t>(value)));
}

void put_le16(std::string& bytes, size_t at, uint32_t value) {
    bytes.replace(at, 2, le32(static_cast<int32_t>(value)).substr(0, 2));
}

int32_t le32_at(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= uint32_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
    return static_cast<int32_t>(value);
}

}  // namespace sfx::test
