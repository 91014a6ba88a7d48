// Any text through hex_decode and open_cbc: no fault, and never more bytes out than
// characters in.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "secure/blowfish.h"
#include "secure/hex.h"
#include "secure/seal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const velmora::BlowfishCipher cipher = [] {
    velmora::BlowfishCipher c;
    c.set_key("fuzzing channel key of fifty-six characters, exactly..");
    return c;
  }();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (velmora::hex_decode(text).size() != (size + 1) / 2) std::abort();
  if (velmora::open_cbc(cipher, text).size() > size) std::abort();
  // What we seal we open again.
  if (velmora::open_cbc(cipher, velmora::seal_cbc(cipher, text)) != text) std::abort();
  return 0;
}
