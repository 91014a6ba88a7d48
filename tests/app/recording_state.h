#pragma once
// An AppState that records every status text on its way to the status line.

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "app/app_state.h"

namespace velmora::test_support {

class RecordingState : public AppState {
public:
  using AppState::AppState;
  ~RecordingState() override { stop(); }  // no thread may reach set_status after this
  void set_status(const std::string& text, int seconds) override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      texts_.push_back(text);
    }
    AppState::set_status(text, seconds);
  }
  bool saw(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    return std::find(texts_.begin(), texts_.end(), text) != texts_.end();
  }
  std::vector<std::string> texts() {
    std::lock_guard<std::mutex> hold(lock_);
    return texts_;
  }

private:
  std::mutex lock_;
  std::vector<std::string> texts_;
};

}  // namespace velmora::test_support
