// A console launcher shows nothing of its own: its user sees the console it was started from.
#include "diagnostics/progress_window.h"

void beginProgress(uint64_t /* bytes */) {}

void addProgress(uint64_t /* bytes */) {}

void closeProgressWhenReady(HANDLE /* process */) {}

void closeProgressWindow() {}
