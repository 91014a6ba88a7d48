// Sealing and opening a chat line under the channel key, next to the per-block hex
// round trip sealing used to make (kept here only as the reference): the ratio of the
// two in one run is the figure to quote, since the machine's speed cancels out.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "secure/blowfish.h"
#include "secure/hex.h"
#include "secure/seal.h"

namespace {

// The reference: every block encoded to hex, and decoded again to chain the next.
namespace per_block_hex {

std::uint32_t load32(std::string_view bytes) {
  std::uint32_t value = 0;
  for (unsigned char byte : bytes.substr(0, 4)) value = (value << 8) | byte;
  return value;
}

void store32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

std::uint32_t parse_hex32(std::string_view text) {
  std::string bytes = velmora::hex_decode(text.substr(0, 8));
  bytes.resize(4, '\0');
  return load32(bytes);
}

std::string xor_block(std::string_view a, std::string_view b) {
  std::string out(8, '\0');
  for (std::size_t i = 0; i < 8; ++i) {
    out[i] = static_cast<char>((i < a.size() ? a[i] : 0) ^ (i < b.size() ? b[i] : 0));
  }
  return out;
}

std::string encrypt_hex(const velmora::BlowfishCipher& cipher, std::string_view block) {
  std::string bytes(block.substr(0, 8));
  bytes.resize(8, '\0');
  std::uint32_t left = load32(bytes), right = load32(std::string_view(bytes).substr(4));
  cipher.encrypt_block(left, right);
  std::string out;
  store32(out, left);
  store32(out, right);
  return velmora::hex_encode(out);
}

std::string decrypt_hex(const velmora::BlowfishCipher& cipher, std::string_view text) {
  std::uint32_t left = parse_hex32(text.substr(0, 8));
  std::uint32_t right = parse_hex32(text.size() > 8 ? text.substr(8, 8) : std::string_view{});
  cipher.decrypt_block(left, right);
  std::string out;
  store32(out, left);
  store32(out, right);
  return out;
}

std::string seal(const velmora::BlowfishCipher& cipher, std::string_view plain,
                 std::string_view iv) {
  std::string padded(plain);
  padded.append(8 - plain.size() % 8, static_cast<char>(8 - plain.size() % 8));
  std::string prev = xor_block(iv, {});
  std::string sealed = velmora::hex_encode(prev);
  for (std::size_t at = 0; at < padded.size(); at += 8) {
    std::string digits =
        encrypt_hex(cipher, xor_block(std::string_view(padded).substr(at, 8), prev));
    prev = velmora::hex_decode(digits);
    sealed += digits;
  }
  return sealed;
}

std::string open(const velmora::BlowfishCipher& cipher, std::string_view sealed) {
  if (sealed.size() < 32) return {};
  std::string prev = xor_block(velmora::hex_decode(sealed.substr(0, 16)), {});
  const std::string_view body = sealed.substr(16);
  std::string plain;
  for (std::size_t at = 0; at + 16 <= body.size(); at += 16) {
    plain += xor_block(decrypt_hex(cipher, body.substr(at, 16)), prev);
    prev = xor_block(velmora::hex_decode(body.substr(at, 16)), {});
  }
  const auto padding = static_cast<unsigned char>(plain.back());
  plain.resize(plain.size() - padding);
  return plain;
}

}  // namespace per_block_hex

const std::string kIv = "\x01\x23\x45\x67\x89\xAB\xCD\xEF";

velmora::BlowfishCipher channel_cipher() {
  velmora::BlowfishCipher cipher;
  cipher.set_key("a channel key of fifty-six characters, as random_string");
  return cipher;
}

using SealFunction = std::string (*)(const velmora::BlowfishCipher&, std::string_view,
                                     std::string_view);
using OpenFunction = std::string (*)(const velmora::BlowfishCipher&, std::string_view);

// A chat line of state.range(0) bytes sealed and opened again; bytes/s is the figure.
// Both ways must seal alike and give the line back, or the figures mean nothing.
void seal_and_open(benchmark::State& state, SealFunction seal, OpenFunction open) {
  const velmora::BlowfishCipher cipher = channel_cipher();
  const std::string line(static_cast<std::size_t>(state.range(0)), 'x');
  for (auto _ : state) {
    std::string opened = open(cipher, seal(cipher, line, kIv));
    benchmark::DoNotOptimize(opened);
  }
  if (seal(cipher, line, kIv) != velmora::seal_cbc_with_iv(cipher, line, kIv) ||
      open(cipher, seal(cipher, line, kIv)) != line) {
    state.SkipWithError("this way does not seal and open as the program does");
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_SealOpen(benchmark::State& state) {
  seal_and_open(state, velmora::seal_cbc_with_iv, velmora::open_cbc);
}
BENCHMARK(BM_SealOpen)->Arg(64)->Arg(400);

void BM_SealOpenPerBlockHexReference(benchmark::State& state) {
  seal_and_open(state, per_block_hex::seal, per_block_hex::open);
}
BENCHMARK(BM_SealOpenPerBlockHexReference)->Arg(64)->Arg(400);

}  // namespace

BENCHMARK_MAIN();
