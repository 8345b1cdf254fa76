#pragma once

// Saves what a drawing test drew as a PNG file when the test has failed by
// the time the guard goes out of scope, and says where on standard error.
// The files go to $LUMIVIEW_TEST_OUTPUT, or to test-output/ in the build
// tree. Header-only: only tests that link lv_skin include it.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "platform/text.h"
#include "skin/png_writer.h"
#include "skin/surface.h"

namespace lv::test {

inline std::string failure_image_dir() {
  const char* dir = std::getenv("LUMIVIEW_TEST_OUTPUT");
  return dir && *dir ? std::string(dir) : std::string(LUMIVIEW_BINARY_DIR) + "/test-output";
}

class SaveOnFailure {
 public:
  // The surface must outlive the guard; a null surface saves nothing.
  explicit SaveOnFailure(const Surface* surface, std::string label = "")
      : m_surface(surface), m_label(std::move(label)) {}
  explicit SaveOnFailure(const Surface& surface, std::string label = "")
      : SaveOnFailure(&surface, std::move(label)) {}
  SaveOnFailure(const SaveOnFailure&) = delete;
  SaveOnFailure& operator=(const SaveOnFailure&) = delete;

  ~SaveOnFailure() {
    if (!m_surface || !::testing::Test::HasFailure()) return;
    const std::string path = failure_image_dir() + "/" + file_name();
    std::error_code ec;
    std::filesystem::create_directories(failure_image_dir(), ec);
    if (write_png(from_utf8(path), *m_surface))
      std::fprintf(stderr, "drawing saved to %s\n", path.c_str());
    else
      std::fprintf(stderr, "could not save the drawing to %s\n", path.c_str());
  }

 private:
  std::string file_name() const {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
    if (!m_label.empty()) name += "-" + m_label;
    for (char& c : name)
      if (c == '/' || c == ' ') c = '_';
    return name + ".png";
  }

  const Surface* m_surface;
  std::string m_label;
};

}  // namespace lv::test
