// A fixture for tests of the shared reading steps, which work on the
// module-level state: each test opens its bytes as the package, and the state
// is back at its start-up values after every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace sfx_test {

class ReaderTest : public testing::Test {
protected:
    void TearDown() override { close_package(); }

    // Closes image_stream, if open, and zeroes the reading state.
    static void close_package();

    // From a clean state, opens `bytes` as image_stream at offset 0 and names
    // it "test.pkg" in messages. False (and a test failure) if it cannot.
    static bool open_package(const std::string& bytes);

    // open_package, then load_valid_file_table(table_start); false with the
    // reason in failure_text.
    static bool load(const std::string& bytes, int32_t table_start);
};

}  // namespace sfx_test
