#include "screens/about_screen.h"

#include "base/settings.h"
#include "skin/font.h"
#include "skin/properties.h"
#include "widgets/screen_host.h"

#ifndef LUMIVIEW_VERSION
#error "the build defines LUMIVIEW_VERSION, the project version"
#endif

namespace lv {

namespace {

constexpr char16_t kVersion[] = u"" LUMIVIEW_VERSION;
constexpr uint8_t kHelpLink = 1;
// Names, the same in every language.
constexpr std::u16string_view kLibraries = u"SDL2, libjpeg-turbo, FreeType, libpng";

}  // namespace

std::u16string_view program_version() {
  return kVersion;
}

AboutScreen::AboutScreen(DocumentOpener open_document)
    : m_open_document(std::move(open_document)) {}

AboutScreen::~AboutScreen() {
  if (m_showing) screen_host().remove_screen(*this, ScreenAnimation::none);
}

void AboutScreen::show(const Properties& properties) {
  build(properties, u"About");
  std::u16string version = properties.language().lookup(u"About_version");
  version += u' ';
  version += program_version();
  set_text_by_id(u"version", version);
  fill_info(properties);
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

void AboutScreen::fill_info(const Properties& properties) {
  auto* info = dynamic_cast<RichTextElement*>(find_by_id(u"info"));
  if (!info) return;
  const LanguageTable& language = properties.language();
  const FontRef& font = info->font();
  const FontRef bold = font_variant(font, true, false);
  const Color color = info->color();
  info->clear_runs();
  auto line = [&](std::u16string_view label, std::u16string_view value) {
    info->add_text(std::u16string(language.lookup(label)) + u' ', bold, color);
    info->add_text(std::u16string(value) + u'\n', font, color);
  };
  line(u"About_version", program_version());
  line(u"About_libraries", kLibraries);
  info->add_link(language.lookup(u"About_help"), font_variant(font, false, true),
                 font_variant(font, true, true), color, kHelpLink);
  info->set_listener(this);
  m_help_path = expand_path(u"%app_path%/" + language.lookup(u"Help_link"));
}

void AboutScreen::link_clicked(RichTextElement& text, size_t run) {
  if (text.run(run).flag != kHelpLink || !m_open_document) return;
  m_open_document(m_help_path);
}

bool AboutScreen::on_pointer_button(const PointerEvent& event) {
  // A link takes its own press and the end of it, and leaves the box up.
  if (ScreenRoot::on_pointer_button(event)) {
    m_pressed = false;
    return true;
  }
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
