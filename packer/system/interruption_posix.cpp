#include "packer/system/interruption.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

namespace {

// Each command registers its one temporary output; the slots leave room to spare.
constexpr int kSlots = 16;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The handler reads a slot only while `used` is set, after the path is complete.
struct Slot {
  char path[PATH_MAX];
  bool folder;
  volatile std::sig_atomic_t used;
};

Slot slots[kSlots];

// Only async-signal-safe calls from here on.
void removeRegistered(bool folders) {
  for (Slot& slot : slots) {
    if (slot.used && slot.folder == folders) {
      folders ? rmdir(slot.path) : unlink(slot.path);
    }
  }
}

void removeAndEnd(int number) {
  removeRegistered(/* folders */ false);
  removeRegistered(/* folders */ true);
  signal(number, SIG_DFL);
  raise(number);
}

}  // namespace

void catchInterruptions() {
  struct sigaction action {};
  action.sa_handler = removeAndEnd;
  sigemptyset(&action.sa_mask);
  for (int number : kSignals) {
    sigaddset(&action.sa_mask, number);
  }
  for (int number : kSignals) {
    sigaction(number, &action, nullptr);
  }
}

RemovedOnInterruption::RemovedOnInterruption(const std::filesystem::path& path, bool folder) {
  const std::string& text = path.native();
  for (slot_ = 0; slot_ < kSlots && slots[slot_].used; ++slot_) {
  }
  if (slot_ == kSlots || text.size() >= PATH_MAX) {
    slot_ = -1;
    return;
  }
  std::memcpy(slots[slot_].path, text.c_str(), text.size() + 1);
  slots[slot_].folder = folder;
  slots[slot_].used = 1;
}

RemovedOnInterruption::~RemovedOnInterruption() {
  if (slot_ >= 0) {
    slots[slot_].used = 0;
  }
}
