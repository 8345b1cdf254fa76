#pragma once

#include <string>

namespace lv::test {

// The per-process temporary root that HOME, XDG_* and TMPDIR point into.
const std::string& temp_root();

// A fresh, empty folder under the temporary root.
std::string make_temp_dir(const std::string& hint = "t");

// Path of a file of the shared test pictures, or "" when they are absent.
std::string testdata_path(const std::string& relative);
bool have_testdata();

// The source and build trees, for tests that read shipped files.
std::string source_path(const std::string& relative);
std::string binary_path(const std::string& relative);

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);

}  // namespace lv::test

// Skips the current test with a clear message when the shared pictures are missing.
#define LV_REQUIRE_TESTDATA()                                                        \
  do {                                                                               \
    if (!::lv::test::have_testdata())                                                \
      GTEST_SKIP() << "shared test pictures not found at " LUMIVIEW_TESTDATA_DIR;    \
  } while (0)
