#include "app/game_base.h"

#include "app/main_window.h"
#include "base/tick_log.h"
#include "base/active.h"
#include "base/log.h"
#include "base/settings.h"
#include "platform/single_instance.h"

namespace lv {

namespace {

GameBase* g_game_base = nullptr;

}  // namespace

GameBase::GameBase(std::u16string_view app_name, platform::SingleInstance* instance,
                   WindowMaker make_window)
    : m_app_name(app_name),
      m_class_name(u"SkinnerClass_" + std::u16string(app_name)),
      m_instance(instance) {
  if (g_game_base) fatal_stop(u"Singleton is already instantiated", u"Singleton::Singleton()");
  g_game_base = this;
  m_scheduler = std::make_unique<CActiveScheduler>();

  uint32_t sip = 0;
  if (get_number(kKaruKey, u"SIPPreference", sip)) m_sip_preference = sip != 0;

  tick_log() << u" GameBase 0\n";
  tick_log() << u" GameBase 1\n";
  tick_log() << u" GameBase 2\n";
  tick_log() << u" GameBase 3\n";
  tick_log() << u" GameBase 4\n";
  m_window = make_window ? make_window(m_app_name, &m_window_error)
                         : MainWindow::create(m_app_name, &m_window_error);
  if (!m_window) {
    if (m_window_error.empty()) m_window_error = "no window";
    tick_log() << u" GameBase no window: " << m_window_error << u"\n";
    return;
  }
  m_window_error.clear();
  tick_log() << u" GameBase 5\n";
  if (m_instance) {
    if (!m_window->listen_for_instances(*m_instance))
      log() << u" GameBase cannot take the command lines of later starts\n";
    m_instance->release_startup_lock();
  }
}

GameBase::~GameBase() {
  if (m_instance) m_instance->stop_listening();
  m_window.reset();
  m_scheduler.reset();
  g_game_base = nullptr;
}

}  // namespace lv
