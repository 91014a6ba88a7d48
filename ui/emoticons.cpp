#include "ui/emoticons.h"

#include <array>
#include <initializer_list>

namespace velmora {
namespace {

struct Emoticon {
  std::initializer_list<std::string_view> codes;
  std::string_view file;
};

// In lookup order. No two entries share a code, so ":DD" can only ever be the lol face.
const std::array<Emoticon, 18> kEmoticons = {{
    {{":)", ":-)"}, "face-smile.png"},
    {{";)", ";-)"}, "face-wink.png"},
    {{":-?", ":?"}, "face-question.png"},
    {{":-p", ":p", ":-P", ":P"}, "face-tongue.png"},
    {{":\")"}, "face-red.png"},
    {{"9_9"}, "face-rolleyes.png"},
    {{":D", ":-D"}, "face-laugh.png"},
    {{":|", ":-|"}, "face-normal.png"},
    {{"o_o"}, "face-eek.png"},
    {{":DD", ":-DD"}, "face-lol.png"},
    {{":-s", ":s", ":-S", ":S"}, "face-confused.png"},
    {{"xD", "XD"}, "face-rofl.png"},
    {{":-(", ":("}, "face-sad.png"},
    {{">:-(", ">:("}, "face-angry.png"},
    {{":-o", ":-O", ":0", ":-0"}, "face-surprised.png"},
    {{":~("}, "face-cry.png"},
    {{">:-D", ">:D"}, "face-evil.png"},
    {{"B-)", "B)"}, "face-cool.png"},
}};

}  // namespace

std::string_view emoticon_file(std::string_view word) {
  for (const Emoticon& entry : kEmoticons) {
    for (std::string_view code : entry.codes) {
      if (code == word) return entry.file;
    }
  }
  return {};
}

}  // namespace velmora
