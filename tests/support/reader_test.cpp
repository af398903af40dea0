#include "support/reader_test.h"

#include "package_reader.h"
#include "stub.h"
#include "support/package_builder.h"

namespace sfx_test {

void ReaderTest::close_package() {
    if (sfx::image_stream != nullptr) fclose(sfx::image_stream);
    sfx::reset_reader_state();
}

bool ReaderTest::open_package(const std::string& bytes) {
    close_package();
    sfx::image_stream = package_stream(bytes);
    sfx::package_path = "test.pkg";
    return sfx::image_stream != nullptr;
}

bool ReaderTest::load(const std::string& bytes, int32_t table_start) {
    return open_package(bytes) && sfx::load_valid_file_table(table_start);
}

}  // namespace sfx_test
