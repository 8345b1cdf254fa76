// Every test process runs with its own temporary HOME, XDG folders and TMPDIR,
// so no test reads or writes the real user's settings, state or log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace lv::test {
void set_temp_root(const std::string& root);
}

// fontconfig keeps its configuration for the life of the process and frees
// none of it at exit; that is not a leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);

  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/lumiview-test-XXXXXX";
  if (!mkdtemp(templ.data())) {
    perror("mkdtemp");
    return 2;
  }
  const std::string root = templ;
  lv::test::set_temp_root(root);
  const char* dirs[][2] = {
      {"HOME", "/home"},           {"XDG_CONFIG_HOME", "/home/.config"},
      {"XDG_STATE_HOME", "/home/.local/state"}, {"XDG_CACHE_HOME", "/home/.cache"},
      {"XDG_DATA_HOME", "/home/.local/share"},  {"XDG_RUNTIME_DIR", "/run"},
      {"TMPDIR", "/tmp"},
  };
  for (auto& d : dirs) {
    std::string path = root + d[1];
    std::filesystem::create_directories(path);
    setenv(d[0], path.c_str(), 1);
  }
  std::filesystem::permissions(root + "/run", std::filesystem::perms::owner_all);
  unsetenv("LUMIVIEW_PICTURES");
  unsetenv("LUMIVIEW_CARDS");
  unsetenv("LUMIVIEW_SCRIPT");
  unsetenv("LANGUAGE");
  setenv("LUMIVIEW_DISPLAY", "offscreen", 1);
  setenv("SDL_VIDEODRIVER", "dummy", 1);

  int rc = RUN_ALL_TESTS();
  std::error_code ec;
  if (!std::getenv("LUMIVIEW_KEEP_TEST_TEMP")) std::filesystem::remove_all(root, ec);
  return rc;
}
