#include "widgets/screen_host.h"

#include "platform/clock.h"

namespace lv {

namespace {

class IdleHost final : public ScreenHost {
 public:
  void add_screen(ScreenRoot&, ScreenLayer, ScreenAnimation) override {}
  void remove_screen(ScreenRoot&, ScreenAnimation) override {}
  void size_to_client_area(ScreenRoot&) override {}
  void redraw_all() override {}
  uint32_t now_ms() const override { return platform::tick_count(); }
  void edit_natively(Element*) override {}
};

IdleHost g_idle_host;
ScreenHost* g_host = nullptr;

}  // namespace

ScreenHost& screen_host() {
  return g_host ? *g_host : g_idle_host;
}

void set_screen_host(ScreenHost* host) {
  g_host = host;
}

}  // namespace lv
