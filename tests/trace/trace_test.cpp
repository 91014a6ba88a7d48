#include "trace/trace.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(Trace, OnlyANonEmptyValueOtherThanZeroTurnsItOn) {
  struct Case { const char* value; bool on; };
  const Case cases[] = {{nullptr, false}, {"", false}, {"0", false}, {"1", true}, {"yes", true}};
  for (const auto& c : cases) EXPECT_EQ(trace_wanted(c.value), c.on) << (c.value ? c.value : "unset");
}

}  // namespace
}  // namespace velmora
