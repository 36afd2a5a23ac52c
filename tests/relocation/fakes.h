#pragma once
// Test doubles for the window's side of the relocation commands.
#include <string>
#include <vector>

#include "relocation/form_values.h"

namespace picrelink::test {

class RecordingTrigger : public Trigger {
 public:
  std::vector<bool> changes;  // every SetAvailable call, in order
  bool available = true;
  void SetAvailable(bool value) override {
    available = value;
    changes.push_back(value);
  }
};

class RecordingMessages : public Messages {
 public:
  explicit RecordingMessages(const RecordingTrigger* trigger = nullptr) : trigger_(trigger) {}
  struct Shown {
    std::u16string text, caption;
    bool triggerAvailable;
  };
  std::vector<Shown> shown;
  void ShowInformation(std::u16string_view text, std::u16string_view caption) override {
    shown.push_back({std::u16string(text), std::u16string(caption),
                     trigger_ != nullptr && trigger_->available});
  }

 private:
  const RecordingTrigger* trigger_;
};

}  // namespace picrelink::test
