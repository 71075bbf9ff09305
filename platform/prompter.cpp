#include "platform/prompter.h"

#include <atomic>
#include <cstdio>

namespace platform {

PromptAnswer ConsolePrompter::Ask(const std::string& text, const std::string& caption, PromptKind,
                                  PromptAnswer silentAnswer) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  return silentAnswer;
}

namespace {
ConsolePrompter consolePrompter;
std::atomic<Prompter*> current{nullptr};
}  // namespace

Prompter& CurrentPrompter() {
  Prompter* p = current.load();
  return p ? *p : consolePrompter;
}

void SetCurrentPrompter(Prompter* prompter) { current.store(prompter); }

}  // namespace platform
