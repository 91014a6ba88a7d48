#pragma once
// Blowfish's initial P-array and S-boxes as one table, P1..P18 then S1[0]..S4[255].

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmora {

inline constexpr std::size_t kBlowfishConstantWords = 18 + 4 * 256;
extern const std::array<std::uint32_t, kBlowfishConstantWords> kBlowfishConstants;

}  // namespace velmora
