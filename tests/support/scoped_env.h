#pragma once

// Changes environment variables for one scope and puts the old values back,
// so that test cases sharing one process do not see each other's changes.

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lv::test {

class ScopedEnv {
 public:
  ScopedEnv() = default;
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
      if (it->second)
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        ::unsetenv(it->first.c_str());
    }
  }

  void set(const char* name, const std::string& value) {
    save(name);
    ::setenv(name, value.c_str(), 1);
  }
  void unset(const char* name) {
    save(name);
    ::unsetenv(name);
  }

 private:
  void save(const char* name) {
    for (const auto& saved : m_saved)
      if (saved.first == name) return;
    const char* value = std::getenv(name);
    m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }

  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

}  // namespace lv::test
