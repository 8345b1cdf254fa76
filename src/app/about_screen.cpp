#include "app/about_screen.h"

#include "skin/properties.h"
#include "widgets/screen_host.h"

#ifndef LUMIVIEW_VERSION
#error "the build defines LUMIVIEW_VERSION, the project version"
#endif

namespace lv {

namespace {

constexpr char16_t kVersion[] = u"" LUMIVIEW_VERSION;

}  // namespace

std::u16string_view program_version() {
  return kVersion;
}

AboutScreen::~AboutScreen() {
  if (m_showing) screen_host().remove_screen(*this, ScreenAnimation::none);
}

void AboutScreen::show(const Properties& properties) {
  build(properties, u"About");
  std::u16string version = properties.language().lookup(u"About_version");
  version += u' ';
  version += program_version();
  set_text_by_id(u"version", version);
  m_pressed = false;
  ScreenHost& host = screen_host();
  if (m_showing) {
    host.size_to_client_area(*this);
    mark_redraw();
    return;
  }
  host.add_screen(*this, ScreenLayer::overlay, ScreenAnimation::animated);
  m_showing = true;
}

void AboutScreen::close() {
  m_pressed = false;
  if (!m_showing) return;
  m_showing = false;
  screen_host().remove_screen(*this, ScreenAnimation::animated);
}

bool AboutScreen::on_key(const KeyEvent& event) {
  if (event.key != kKeyBackspace || !event.pressed) return false;
  close();
  return true;
}

bool AboutScreen::on_pointer_button(const PointerEvent& event) {
  // Only a release that follows a press on the box closes it: the release of
  // the tap that opened the box, or one whose press the screen below took,
  // must not.
  if (event.pressed && !event.cancelled) {
    m_pressed = true;
  } else if (event.cancelled) {
    m_pressed = false;
  } else if (m_pressed) {
    close();
  }
  return true;
}

}  // namespace lv
