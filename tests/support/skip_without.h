#pragma once
// For a test that needs a server or services this machine may lack: `why` (empty when
// all is there) skips the test and says why. Under CI (VELMORA_CI set, as .ci/run does)
// the test fails instead: CI's machine installs everything, so a skip there hides a
// broken install step.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#define VELMORA_SKIP_WITHOUT(why)                                                       \
  if (const std::string velmora_why_ = (why); velmora_why_.empty()) {                   \
  } else if (const char* ci = std::getenv("VELMORA_CI"); ci != nullptr && *ci != '\0') { \
    FAIL() << velmora_why_ << " (CI runs every server test)";                           \
  } else                                                                                \
    GTEST_SKIP() << velmora_why_
