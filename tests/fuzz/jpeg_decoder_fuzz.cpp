// libFuzzer target of the own baseline JPEG decoder: everything it offers,
// through the check the unit tests replay stored inputs with.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "jpeg_decoder_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The last 8 bytes choose and damage an entry; the rest is the picture.
  lv::fuzz::EntryDamage damage;
  if (size >= 16) {
    size -= 8;
    const uint8_t* c = data + size;
    damage = {uint32_t(c[0] | c[1] << 8 | c[2] << 16), c[3], c[4]};
  }
  // A copy of exactly the picture's bytes, so any read past them is caught.
  const std::vector<uint8_t> bytes(data, data + size);
  const std::string fault = lv::fuzz::check_decoder(bytes.data(), bytes.size(), damage).fault;
  if (!fault.empty()) std::fprintf(stderr, "%s\n", fault.c_str()), std::abort();
  return 0;
}
