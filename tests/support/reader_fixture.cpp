#include "tests/support/reader_fixture.h"

#include <unistd.h>

#include "tests/support/test_files.h"

namespace sfx::test {

bool reader_fixture::open_package(const std::string& bytes, const char* path) {
    return adopt_package(byte_stream(bytes), path);
}

bool reader_fixture::adopt_package(FILE* stream, const char* path) {
    // One session at a time: the old one closes its stream and resets the
    // state before the new one starts.
    session_.reset();
    session_.emplace(path);
    stream_ = stream;
    return stream != nullptr && session_->adopt(stream);
}

bool reader_fixture::load(const std::string& bytes, int32_t table_start) {
    if (!open_package(bytes) || !session_->find_marker()) return false;
    if (session_->table_start() != table_start) {
        ADD_FAILURE() << "the marker was found ending at " << session_->table_start() << ", not at "
                      << table_start << " where the test put it";
        return false;
    }
    return session_->load_table();
}

bool reader_fixture::load(const package_recipe& recipe) {
    return load(build_package(recipe), table_start_of(recipe));
}

void writing_reader_fixture::SetUp() {
    ASSERT_FALSE(directory_.path().empty());
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    previous_ = previous;
    ASSERT_EQ(chdir(directory_.path().c_str()), 0);
}

void writing_reader_fixture::TearDown() {
    reader_fixture::TearDown();
    EXPECT_EQ(chdir(previous_.c_str()), 0);
}

}  // namespace sfx::test
