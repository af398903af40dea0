#include "support/package_builder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "stub.h"

namespace sfx_test {

std::string table_marker() { return std::string(sfx::marker_vendor) + sfx::marker_suffix; }

void append_le32(std::string& bytes, int32_t value) {
    uint32_t bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<char>((bits >> shift) & 0xFF));
}

namespace {

std::string marker_of(const PackageLayout& layout) {
    return layout.marker ? *layout.marker : table_marker();
}

size_t table_size_of(const PackageLayout& layout) {
    if (layout.raw_table) return layout.raw_table->size();
    size_t size = static_cast<size_t>(sfx::END_RECORD_SIZE);
    for (const PackageEntry& entry : layout.entries)
        size += entry.name.size() + 1 + static_cast<size_t>(sfx::OFFSET_FIELD_SIZE);
    return size;
}

}  // namespace

int32_t table_start_of(const PackageLayout& layout) {
    return static_cast<int32_t>(layout.image.size() + layout.fill.size() +
                                marker_of(layout).size());
}

std::string build_package(const PackageLayout& layout) {
    std::string package = layout.image + layout.fill + marker_of(layout);
    if (layout.raw_table) {
        package += *layout.raw_table;
    } else {
        size_t body_offset = package.size() + table_size_of(layout) + layout.gap.size();
        for (const PackageEntry& entry : layout.entries) {
            package += entry.name;
            package.push_back('\0');
            append_le32(package, entry.offset ? *entry.offset : static_cast<int32_t>(body_offset));
            body_offset += entry.body.size();
        }
        package.push_back('\0');
        package.append(reinterpret_cast<const char*>(layout.end_reserved.data()),
                       layout.end_reserved.size());
    }
    package += layout.gap;
    for (const PackageEntry& entry : layout.entries) package += entry.body;
    package += layout.trailer;
    return package;
}

void point_past_end(PackageLayout& layout, size_t entry, int32_t beyond) {
    // An override does not change the package's length.
    layout.entries[entry].offset = static_cast<int32_t>(build_package(layout).size()) + beyond;
}

const std::vector<int32_t>& example_package_sizes() {
    static const std::vector<int32_t> sizes = {147449, 47616, 956,    29,      306666,
                                               8192,   10752, 192781, 2317374, 5};
    return sizes;
}

PackageLayout example_package_layout() {
    PackageLayout layout;
    layout.image.assign(35328, '\0');
    std::string vendor = sfx::marker_vendor;
    layout.image.replace(27772, vendor.size() + 1, vendor + '\0');
    layout.fill.assign(1536, '\0');
    static const char* const names[] = {"DATA1.CAB",    "SETUP.EXE",  "SETUP.INI",  "SETUP.LST",
                                        "LICENSE1.TXT", "README.TXT", "MANUAL.PDF", "DRIVER.SYS",
                                        "DATA.BIN",     "LAST.DAT"};
    // Name lengths 9, 9, 9, 9, 12, 10, 10, 10, 8, 8: the records start where
    // the example has them.
    const std::vector<int32_t>& sizes = example_package_sizes();
    for (size_t i = 0; i < sizes.size(); ++i) {
        PackageEntry entry;
        entry.name = names[i];
        // A body that differs from every other at every position, so a body
        // read from a wrong offset shows.
        entry.body.resize(static_cast<size_t>(sizes[i]));
        for (size_t at = 0; at < entry.body.size(); ++at)
            entry.body[at] = static_cast<char>((at * 7 + i * 31 + at / 251) & 0xFF);
        layout.entries.push_back(entry);
    }
    return layout;
}

FILE* package_stream(const std::string& bytes) {
    FILE* stream = tmpfile();
    if (stream == nullptr || fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size() ||
        fflush(stream) != 0) {
        ADD_FAILURE() << "cannot make a package stream: " << strerror(errno);
        if (stream != nullptr) fclose(stream);
        return nullptr;
    }
    rewind(stream);
    return stream;
}

bool write_file(const std::string& path, const std::string& bytes, unsigned mode) {
    int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (descriptor < 0) {
        ADD_FAILURE() << "cannot create " << path << ": " << strerror(errno);
        return false;
    }
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t result = write(descriptor, bytes.data() + written, bytes.size() - written);
        if (result < 0) {
            ADD_FAILURE() << "cannot write " << path << ": " << strerror(errno);
            close(descriptor);
            return false;
        }
        written += static_cast<size_t>(result);
    }
    // The umask must not take the execute bit off a program the test runs.
    fchmod(descriptor, static_cast<mode_t>(mode));
    close(descriptor);
    return true;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace sfx_test
