#include "support/test_env.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace lv::test {

namespace {
std::string g_root;
std::atomic<int> g_counter{0};
}  // namespace

void set_temp_root(const std::string& root) { g_root = root; }

const std::string& temp_root() { return g_root; }

std::string make_temp_dir(const std::string& hint) {
  for (;;) {
    std::string path = g_root + "/" + hint + std::to_string(g_counter++);
    if (::mkdir(path.c_str(), 0700) == 0) return path;
    if (errno != EEXIST) throw std::runtime_error("cannot make " + path);
  }
}

bool have_testdata() {
  struct stat st{};
  return ::stat(LUMIVIEW_TESTDATA_DIR "/jpeg", &st) == 0 && S_ISDIR(st.st_mode);
}

std::string testdata_path(const std::string& relative) {
  if (!have_testdata()) return {};
  return std::string(LUMIVIEW_TESTDATA_DIR) + "/" + relative;
}

std::string source_path(const std::string& relative) {
  return std::string(LUMIVIEW_SOURCE_DIR) + "/" + relative;
}

std::string binary_path(const std::string& relative) {
  return std::string(LUMIVIEW_BINARY_DIR) + "/" + relative;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace lv::test
