#include "app/application.h"

#include "screens/about_screen.h"
#include "app/element_types.h"
#include "app/main_window.h"
#include "screens/skin_choice.h"
#include "base/tick_log.h"
#include "base/log.h"
#include "base/settings.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/screen_saver.h"
#include "platform/text.h"
#include "screens/application_listener.h"
#include "skin/font.h"
#include "skin/properties.h"
#include "skin/skin_exceptions.h"
#include "widgets/edit_element.h"
#include "widgets/screen_root.h"

namespace lv {

namespace {

Application* g_application = nullptr;

FontRef make_default_font() {
  FontDesc desc;
  desc.face = u"Tahoma";
  desc.height = 10;
  desc.bold = 1;
  return create_font(desc);
}

}  // namespace

Application::Application(std::u16string_view name, Properties& properties, Options options)
    : m_name(name), m_properties(properties) {
  if (g_application) fatal_stop(u"Singleton is already instantiated", u"Singleton::Singleton()");
  g_application = this;
  try {
    register_element_types();
  } catch (...) {
    g_application = nullptr;
    throw;
  }
  m_types_registered = true;

  set_default_font(make_default_font());
  m_game_base =
      std::make_unique<GameBase>(m_name, options.instance, std::move(options.make_window));
  if (MainWindow* main_window = m_game_base->window()) main_window->set_client(this);
  m_skin_choice = std::make_unique<SkinChoice>(m_properties.language(), m_properties, m_name,
                                               std::move(options.base_folder));
  m_about = std::make_unique<AboutScreen>(
      [this](const std::u16string& path) { return open_document(path); });
  set_screen_host(this);
  tick_log() << u"Application::Application() this=" << static_cast<const void*>(this) << u"\n";
}

Application::~Application() {
  tick_log() << u"Application::~Application()\n";
  // Fields that go after the window must not reach it.
  m_edited = nullptr;
  reset_default_font();
  // The about box takes itself off the stack, so it goes while the stack
  // and the host are still here.
  m_about.reset();
  if (MainWindow* main_window = m_game_base->window()) main_window->set_client(nullptr);
  m_game_base.reset();
  m_skin_choice.reset();
  m_screens.clear();
  set_screen_host(nullptr);
  if (m_types_registered) unregister_element_types();
  g_application = nullptr;
}

Application* Application::instance() {
  return g_application;
}

MainWindow* Application::window() const {
  return m_game_base->window();
}

Size Application::client_size() const {
  const MainWindow* main_window = window();
  return main_window ? main_window->client_size() : Size{};
}

void Application::forget_screen(ScreenRoot& screen) {
  m_screens.remove(screen, ScreenAnimation::none, client_size());
  if (m_listener == dynamic_cast<ApplicationListener*>(&screen)) m_listener = nullptr;
}

// --- WindowClient -----------------------------------------------------------

void Application::update(double dt) {
  // A command line that came before the home screen took over is opened in
  // the first frame after that one, so it never lands under the splash and
  // the home screen has been drawn.
  if (m_listener && !m_pending_command_line.empty()) {
    const std::u16string command_line = std::move(m_pending_command_line);
    m_pending_command_line.clear();
    log() << u"Application::open_command_line kept: " << command_line << u"\n";
    m_listener->open_command_line(command_line);
  }
  m_screens.update(dt, client_size());
}

bool Application::needs_redraw() const {
  return m_screens.needs_redraw();
}

void Application::render(RenderSurface& target, RedrawScope) {
  // Every frame is drawn whole: overlays dim and cut what lies below them,
  // so drawing one screen again over its last frame would add up.
  m_screens.render(target, client_size(), m_background);
}

void Application::key(const KeyEvent& event) {
  if (m_listener && m_listener->key_prefilter(event)) return;
  if (ScreenRoot* screen = m_screens.current()) screen->on_key(event);
}

void Application::character(std::u16string_view text) {
  if (ScreenRoot* screen = m_screens.current()) screen->on_char(text);
}

void Application::pointer_move(const PointerEvent& event) {
  if (ScreenRoot* screen = m_screens.current()) screen->on_pointer_move(event);
}

void Application::pointer_button(const PointerEvent& event) {
  if (ScreenRoot* screen = m_screens.current()) screen->on_pointer_button(event);
}

void Application::wheel(const WheelEvent& event) {
  if (ScreenRoot* screen = m_screens.current()) screen->on_wheel(event);
}

void Application::pinch(const PinchEvent& event) {
  if (ScreenRoot* screen = m_screens.current()) screen->on_pinch(event);
}

void Application::layout_changed(const ScreenInfo&) {
  m_screens.redraw_all();
  if (m_listener) m_listener->screen_layout_changed();
}

bool Application::may_close() {
  return !m_listener || m_listener->may_close();
}

void Application::activated() {
  if (m_listener) m_listener->activated();
}

void Application::deactivated() {
  if (m_listener) m_listener->deactivated();
}

void Application::open_command_line(std::u16string command_line) {
  log() << u"Application::open_command_line " << command_line << u"\n";
  if (m_listener)
    m_listener->open_command_line(command_line);
  else
    m_pending_command_line = std::move(command_line);  // the latest one wins
}

void Application::edit_text_changed(std::u16string_view text) {
  if (auto* field = dynamic_cast<TextElement*>(m_edited)) field->set_text(text);
}

void Application::edit_ended() {
  m_edited = nullptr;
}

// --- ScreenHost -------------------------------------------------------------

void Application::add_screen(ScreenRoot& screen, ScreenLayer layer, ScreenAnimation animation) {
  // The box would stay over the new screen, and its keys would not reach it.
  if (m_edited && &m_edited->root() != &screen) edit_natively(nullptr);
  m_screens.add(screen, layer, animation, client_size());
  if (m_listener) m_listener->screen_added(screen);
}

void Application::remove_screen(ScreenRoot& screen, ScreenAnimation animation) {
  if (!m_screens.remove(screen, animation, client_size())) return;
  if (m_listener) m_listener->screen_removed(screen, animation == ScreenAnimation::animated);
}

void Application::size_to_client_area(ScreenRoot& screen) {
  screen.layout(client_size());
}

void Application::redraw_all() {
  m_screens.redraw_all();
}

uint32_t Application::now_ms() const {
  return platform::tick_count();
}

void Application::edit_natively(Element* element) {
  m_edited = element;
  MainWindow* main_window = window();
  if (!main_window) return;
  if (!element) {
    main_window->edit(nullptr, EditBox::existing);
    return;
  }
  EditTarget target;
  target.element = element;
  target.rect = element->rect();
  if (const auto* text = dynamic_cast<const TextElement*>(element)) {
    target.text = text->text();
    target.multi_line = text->wrap();
    target.font = text->font();
    target.color = text->color();
  }
  if (const auto* field = dynamic_cast<const EditElement*>(element))
    target.background = field->background_color();
  main_window->edit(&target, EditBox::create);
}

// --- AppServices ------------------------------------------------------------

void Application::quit() {
  if (MainWindow* main_window = window()) main_window->destroy();
}

void Application::allow_screen_saver(bool allow) {
  platform::allow_screen_saver(allow);
}

void Application::minimize() {
  if (MainWindow* main_window = window()) main_window->minimize();
}

void Application::bring_to_front() {
  if (MainWindow* main_window = window()) main_window->bring_to_front();
}

void Application::refit_to_screen() {
  if (MainWindow* main_window = window())
    main_window->go_full_screen(main_window->measure_screen().orientation);
}

ScreenInfo Application::screen_info() const {
  const MainWindow* main_window = window();
  return main_window ? main_window->screen_info() : ScreenInfo{};
}

bool Application::has_several_languages() const {
  return m_skin_choice->has_several_languages();
}

bool Application::has_several_skins() const {
  return m_skin_choice->has_several_skins();
}

void Application::fill_language_menu(std::vector<MenuItem>& items,
                                     std::u16string_view cancel_style) const {
  m_skin_choice->fill_language_menu(items, cancel_style);
}

void Application::fill_skin_menu(std::vector<MenuItem>& items,
                                 std::u16string_view cancel_style) const {
  m_skin_choice->fill_skin_menu(items, cancel_style);
}

bool Application::choose(std::u16string_view item_id) {
  // What to go back to when the screens cannot be built from the choice.
  const std::u16string previous = m_skin_choice->current_item(item_id);
  try {
    if (!m_skin_choice->choose(item_id, screen_info())) return false;
    // Remembered only now that every screen was rebuilt from it.
    m_skin_choice->remember_current(item_id);
    m_screens.redraw_all();
    return true;
  } catch (const jobser::SkinException& fault) {
    // A skin that loads but lacks what a screen needs.
    log() << u"Application::choose " << item_id << u" refused: " << fault.what() << u"\n";
  }
  restore_after_refusal(item_id, previous);
  m_screens.redraw_all();
  return false;
}

void Application::restore_after_refusal(std::u16string_view refused, std::u16string_view previous) {
  const ScreenInfo screen = screen_info();
  auto rebuilt_from = [&](std::u16string_view id) {
    try {
      return m_skin_choice->choose(id, screen);
    } catch (const jobser::SkinException& fault) {
      log() << u"Application::choose " << id << u" refused: " << fault.what() << u"\n";
      return false;
    }
  };
  // The one in use before; when it has gone meanwhile, the start's
  // candidates in their order, the refused one left out.
  std::vector<std::u16string> ids{std::u16string(previous)};
  if (starts_with(refused, u"Skin#"))
    for (std::u16string& id : m_skin_choice->skin_candidates())
      if (to_upper(id) != to_upper(refused) && to_upper(id) != to_upper(previous))
        ids.push_back(std::move(id));
  for (const std::u16string& id : ids) {
    if (rebuilt_from(id)) {
      m_skin_choice->remember_current(id);
      return;
    }
  }
  // No skin the screens can use is left: the program ends rather than go on
  // with screens half built.
  log() << u"Application::choose nothing to go back to\n";
  quit();
}

void Application::show_about() {
  // The about box is a nicety: a skin without one loses the box, not the
  // program.
  try {
    m_about->show(m_properties);
  } catch (const jobser::NodeNotFoundInSkin& fault) {
    log() << u"Application::show_about " << fault.what() << u"\n";
  }
}

void Application::show_message(const std::u16string& text) {
  log() << u"Application::show_message " << text << u"\n";
  platform::show_message_box(text, m_name);
}

bool Application::open_document(const std::u16string& path) {
  int pid = 0;
  const bool started = platform::spawn_process("xdg-open", {to_utf8(path)}, &pid);
  Logger& line = log() << u"Application::open_document " << path;
  if (started)
    line << u" pid=" << pid << u"\n";
  else
    line << u" failed\n";
  return started;
}

}  // namespace lv
