#pragma once
// Standard base64 with padding, for SASL payloads.

#include <string>
#include <string_view>

namespace velmora {

std::string base64_encode(std::string_view bytes);

}  // namespace velmora
