#include "trace/trace.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace velmora {

bool trace_wanted(const char* value) {
  return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}

bool tracing() {
  static const bool on = trace_wanted(std::getenv("VELMORA_TRACE"));
  return on;
}

void trace(std::string_view line) {
  if (!tracing()) return;
  // One write per line, so lines from several threads do not mix.
  std::string text(line);
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace velmora
