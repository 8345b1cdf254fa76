#pragma once

// The clipboard the edit box copies to and pastes from. The desktop's is
// SDL's, which needs SDL's video; a headless window has none, so it gets
// one that lives in the process, and tests may give their own. Text is
// UTF-16 here and UTF-8 on SDL's side. Main thread.

#include <string>
#include <string_view>

namespace lv::platform {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // "" when the clipboard holds no text.
  virtual std::u16string text() const = 0;
  // False when the text could not be put there.
  virtual bool set_text(std::u16string_view text) = 0;
};

class SdlClipboard final : public Clipboard {
 public:
  std::u16string text() const override;
  bool set_text(std::u16string_view text) override;
};

class MemoryClipboard final : public Clipboard {
 public:
  std::u16string text() const override { return m_text; }
  bool set_text(std::u16string_view text) override {
    m_text = text;
    return true;
  }

 private:
  std::u16string m_text;
};

}  // namespace lv::platform
