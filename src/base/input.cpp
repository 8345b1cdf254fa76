#include "base/input.h"

#include <array>
#include <string>

namespace lv {
namespace {

constexpr int kVkAdd = 0x6B;
constexpr int kVkSubtract = 0x6D;
constexpr int kVkOemPlus = 0xBB;
constexpr int kVkOemMinus = 0xBD;

constexpr std::array<std::string_view, kKeyCount> kNames = {
    "None",      "Shift",       "Ctrl",      "Alt",      "Left",      "Right",       "Up",
    "Down",      "Esc",         "Enter",     "Space",    "Backspace", "Del",         "Insert",
    "Home",      "End",         "PageDown",  "PageUp",   "Tab",       "ContextMenu", "A",
    "B",         "C",           "D",         "E",        "F",         "G",           "H",
    "I",         "J",           "K",         "L",        "M",         "N",           "O",
    "P",         "Q",           "R",         "S",        "T",         "U",           "V",
    "W",         "X",           "Y",         "Z",        "0",         "1",           "2",
    "3",         "4",           "5",         "6",        "7",         "8",           "9",
    "*",         "#",           "CALL_MAKE", "CALL_END", "SLIDE",     "SOFT_LEFT",   "SOFT_RIGHT",
    "VOLUME_UP", "VOLUME_DOWN", "PLUS",      "MINUS",
};

}  // namespace

std::string_view key_name(int code) {
  if (code < 0 || code >= kKeyCount) return kNames[0];
  return kNames[static_cast<size_t>(code)];
}

int key_code_by_name(std::string_view name) {
  for (int code = 1; code < kKeyCount; ++code)
    if (kNames[static_cast<size_t>(code)] == name) return code;
  return kKeyNone;
}

int translate_virtual_key(int vk) {
  if (vk < 8 || vk > kVkOemMinus) return kKeyNone;
  if (vk >= '0' && vk <= '9') return kKey0 + (vk - '0');
  if (vk >= 'A' && vk <= 'Z') return kKeyA + (vk - 'A');
  switch (vk) {
    case 8:
    case 27:
      return kKeyBackspace;
    case 9:
      return kKeyTab;
    case 13:
      return kKeyEnter;
    case 16:
      return kKeyShift;
    case 17:
      return kKeyCtrl;
    case 18:
      return kKeyAlt;
    case 32:
      return kKeySpace;
    case 33:
      return kKeyPageUp;
    case 34:
      return kKeyPageDown;
    case 35:
      return kKeyEnd;
    case 36:
      return kKeyHome;
    case 37:
      return kKeyLeft;
    case 38:
      return kKeyUp;
    case 39:
      return kKeyRight;
    case 40:
      return kKeyDown;
    case 45:
      return kKeyInsert;
    case 46:
      return kKeyDel;
    case 93:
      return kKeyContextMenu;
    case 112:
      return kKeySoftLeft;
    case 113:
      return kKeySoftRight;
    case 114:
      return kKeyCallMake;
    case 115:
      return kKeyCallEnd;
    case 117:
      return kKeyVolumeUp;
    case 118:
      return kKeyVolumeDown;
    case 119:
      return kKeyStar;
    case 120:
      return kKeyPound;
    case kVkAdd:
    case kVkOemPlus:
      return kKeyPlus;
    case kVkSubtract:
    case kVkOemMinus:
      return kKeyMinus;
    default:
      return kKeyNone;
  }
}

}  // namespace lv
