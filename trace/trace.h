#pragma once
// Diagnostic traces for developers and tests: one line each on standard error, and only
// when the environment says VELMORA_TRACE=1. Standard output belongs to velmora-term's
// view, so no layer writes diagnostics there.
//
// This folder sits below every other one and depends on nothing, so any layer (bigint
// and net included) may trace without reaching sideways or up.

#include <string_view>

namespace velmora {

// Whether a VELMORA_TRACE value turns tracing on: set, not empty and not "0".
bool trace_wanted(const char* value);

// Whether this process traces; read from the environment once.
bool tracing();

// Writes `line` and a newline to standard error in one piece when tracing.
void trace(std::string_view line);

}  // namespace velmora
