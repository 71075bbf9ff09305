#pragma once
// Message boxes and questions of window mode.
#include "platform/prompter.h"

class QtPrompter final : public platform::Prompter {
 public:
  platform::PromptAnswer Ask(const std::string& text, const std::string& caption, platform::PromptKind kind,
                             platform::PromptAnswer silentAnswer) override;
};
