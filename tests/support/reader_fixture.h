// A fixture for unit tests of the reading steps. The steps work on the
// stub's module-level state, which a reader_session owns; the fixture holds
// one session per package, started afresh for each, so every test begins
// from start-up state and leaves it so.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "src/reader_session.h"
#include "tests/support/package_recipe.h"
#include "tests/support/temp_directory.h"

namespace sfx::test {

class reader_fixture : public testing::Test {
protected:
    void TearDown() override { session_.reset(); }

    // Ends the current session, if any, and starts one over `bytes` (adopted
    // as the package stream at offset 0), naming the package `path` in
    // messages. False (and a test failure) if the stream cannot be made.
    bool open_package(const std::string& bytes, const char* path = "test.pkg");

    // The same over a stream the test prepared itself (binary, at offset 0);
    // the session closes it.
    bool adopt_package(FILE* stream, const char* path = "test.pkg");

    // open_package, find the marker, which must lie at `table_start` (a test
    // failure otherwise), and load the table; false with the reason in
    // session().failure().
    bool load(const std::string& bytes, int32_t table_start);
    // load over the package `recipe` makes, its marker where the recipe puts it.
    bool load(const package_recipe& recipe);

    // The current session; open_package must have started one.
    sfx::reader_session& session() { return *session_; }

    // The stream the current session adopted, for a test that changes the
    // package's file under the session (cuts it short); null before any.
    FILE* package_stream() const { return stream_; }

private:
    std::optional<sfx::reader_session> session_;
    FILE* stream_ = nullptr;
};

// reader_fixture for tests that write files: each runs in a fresh directory,
// the current one for the test's duration, removed afterwards.
class writing_reader_fixture : public reader_fixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // The directory the test runs in.
    const std::string& directory() const { return directory_.path(); }

private:
    temp_directory directory_;
    std::string previous_;
};

}  // namespace sfx::test
