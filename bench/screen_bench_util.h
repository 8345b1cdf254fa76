#pragma once

// The stand-ins a screen benchmark gives the screens in place of the
// application: a host that lays every screen out at one size and tells the
// benchmark's clock, and application services that do nothing.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "screens/app_services.h"
#include "skin/geometry.h"
#include "skin/screen_info.h"
#include "widgets/screen_host.h"
#include "widgets/screen_root.h"

namespace bench {

// A device of the benchmark's own under `root`: home, settings, state and
// cache folders, the pictures folder and one card, "root/card".
inline void use_device(const std::filesystem::path& root) {
  setenv("HOME", (root / "home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "home/.config").c_str(), 1);
  setenv("XDG_STATE_HOME", (root / "home/.state").c_str(), 1);
  setenv("XDG_CACHE_HOME", (root / "home/.cache").c_str(), 1);
  setenv("LUMIVIEW_PICTURES", (root / "home").c_str(), 1);
  setenv("LUMIVIEW_CARDS", (root / "card").c_str(), 1);
}

class BenchHost final : public lv::ScreenHost {
 public:
  BenchHost(lv::Size size, const uint32_t& clock_ms) : m_size(size), m_clock_ms(clock_ms) {}
  void add_screen(lv::ScreenRoot& screen, lv::ScreenLayer, lv::ScreenAnimation) override {
    size_to_client_area(screen);
  }
  void remove_screen(lv::ScreenRoot&, lv::ScreenAnimation) override {}
  void size_to_client_area(lv::ScreenRoot& screen) override { screen.layout(m_size); }
  void redraw_all() override {}
  uint32_t now_ms() const override { return m_clock_ms; }
  void edit_natively(lv::Element*) override {}

 private:
  lv::Size m_size;
  const uint32_t& m_clock_ms;
};

class BenchApp final : public lv::AppServices {
 public:
  explicit BenchApp(lv::Size size) : m_size(size) {}
  void quit() override {}
  void minimize() override {}
  void bring_to_front() override {}
  void refit_to_screen() override {}
  lv::ScreenInfo screen_info() const override {
    return lv::ScreenInfo{m_size.width, m_size.height, 0, 0, m_size.width, m_size.height, 0, 96};
  }
  bool has_several_languages() const override { return false; }
  bool has_several_skins() const override { return false; }
  void fill_language_menu(std::vector<lv::MenuItem>&, std::u16string_view) const override {}
  void fill_skin_menu(std::vector<lv::MenuItem>&, std::u16string_view) const override {}
  bool choose(std::u16string_view) override { return false; }
  void show_about() override {}
  void allow_screen_saver(bool) override {}
  bool open_document(const std::u16string&) override { return false; }
  void show_message(const std::u16string&) override {}

 private:
  lv::Size m_size;
};

}  // namespace bench
