#include "diagnostics/user_message_display.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "diagnostics/message_report.h"
#include "platform/thread.h"

namespace lumeray {
namespace {

std::atomic<platform::WindowHandle> initialOwner{0};
std::atomic<platform::WindowHandle> currentOwner{0};
std::atomic<uint32_t> uiThread{0};

char* MessageBlockStrings(MessageBlock* block) {
  return reinterpret_cast<char*>(block + 1);
}

MessageBlock* NewMessageBlock(uint32_t kind, uint32_t boxFlags, const char* title,
                              const std::string& text) {
  const size_t titleSize = std::strlen(title) + 1;
  const size_t textSize = text.size() + 1;
  auto* block =
      static_cast<MessageBlock*>(std::malloc(sizeof(MessageBlock) + titleSize + textSize));
  if (block == nullptr) return nullptr;
  block->kind = kind;
  block->iconFlags = boxFlags & platform::kMbIconMask;
  block->self = block;
  char* strings = MessageBlockStrings(block);
  std::memcpy(strings, title, titleSize);
  std::memcpy(strings + titleSize, text.c_str(), textSize);
  return block;
}

// Posts the message to the current owner when that is a window of the module; otherwise the
// message stays in the log only.
void HandToOwnerWindow(platform::WindowHandle owner, uint32_t kind, uint32_t boxFlags,
                       const char* title, const std::string& text) {
  if (owner == 0 || owner == initialOwner.load()) return;
  MessageBlock* block = NewMessageBlock(kind, boxFlags, title, text);
  if (block == nullptr) return;
  if (!platform::PostWindowMessage(owner, kMsgShowMessage, reinterpret_cast<uintptr_t>(block), 0)) {
    std::free(block);
  }
}

}  // namespace

void SetUiThread(uint32_t threadId) {
  uiThread.store(threadId);
}
uint32_t UiThread() {
  return uiThread.load();
}
bool OnUiThread() {
  const uint32_t thread = uiThread.load();
  return thread != 0 && thread == platform::CurrentThreadId();
}

platform::WindowHandle InitialMessageOwnerWindow() {
  return initialOwner.load();
}

void RecordMessageOwnerWindows(platform::WindowHandle owner) {
  initialOwner.store(owner);
  currentOwner.store(owner);
}

platform::WindowHandle SetMessageOwnerWindow(platform::WindowHandle window) {
  if (!OnUiThread()) return 0;
  if (!platform::IsWindow(window) && window != initialOwner.load()) return 0;
  return currentOwner.exchange(window);
}

platform::WindowHandle MessageOwnerWindow() {
  return currentOwner.load();
}

void ShowUserMessage(uint32_t kind, uint32_t boxFlags, const char* title, const std::string& text) {
  const platform::WindowHandle owner = currentOwner.load();
  if (OnUiThread()) {
    if (owner != 0 && platform::IsWindow(owner)) {
      platform::ShowMessageBox(owner, text, title, boxFlags | platform::kMbSetForeground);
      return;
    }
    if (owner == 0) {
      // The host has no window at all (the command-line editor): show the message unowned,
      // which without a display prints it on standard error, so that the user still sees it.
      platform::ShowMessageBox(0, text, title, boxFlags | platform::kMbSetForeground);
      return;
    }
  }
  HandToOwnerWindow(owner, kind, boxFlags, title, text);
}

const char* MessageBlockTitle(const MessageBlock* block) {
  return reinterpret_cast<const char*>(block + 1);
}

const char* MessageBlockText(const MessageBlock* block) {
  const char* title = MessageBlockTitle(block);
  return title + std::strlen(title) + 1;
}

void ShowAndFreeMessageBlock(MessageBlock* block, platform::WindowHandle owner) {
  if (block == nullptr || block->self != block) return;
  platform::ShowMessageBox(owner, MessageBlockText(block), MessageBlockTitle(block),
                           block->iconFlags | platform::kMbSetForeground);
  std::free(block);
}

}  // namespace lumeray
