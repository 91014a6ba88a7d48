#pragma once
// The emoticon codes the chat view shows as small images, and their files in the
// "smilies" folder beside the program.

#include <string_view>

namespace velmora {

// The image file of a code (exact, case-sensitive, whole word), or empty when `word`
// is no code.
std::string_view emoticon_file(std::string_view word);

}  // namespace velmora
