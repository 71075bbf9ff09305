#pragma once
// Message boxes and questions. In window mode they are the window's message
// boxes; on the command line nobody waits at the screen, so the text goes to
// standard error and the question takes the answer the caller names as its
// silent answer.
#include <string>

namespace platform {

enum class PromptKind { Info, Warning, Error, YesNo, OkCancel };
enum class PromptAnswer { Ok, Cancel, Yes, No };

class Prompter {
 public:
  virtual ~Prompter() = default;
  virtual PromptAnswer Ask(const std::string& text, const std::string& caption, PromptKind kind,
                           PromptAnswer silentAnswer) = 0;
  void Show(const std::string& text, const std::string& caption = "Tessaload") {
    Ask(text, caption, PromptKind::Info, PromptAnswer::Ok);
  }
};

class ConsolePrompter final : public Prompter {
 public:
  PromptAnswer Ask(const std::string& text, const std::string& caption, PromptKind kind,
                   PromptAnswer silentAnswer) override;
};

// The prompter of the current run mode; the console prompter unless the
// window installed its own.
Prompter& CurrentPrompter();
void SetCurrentPrompter(Prompter* prompter);  // null restores the console one

}  // namespace platform
