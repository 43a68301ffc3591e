// Files written under their partial names are completed (renamed over their names, checked and
// closed: completePartialFile) on a thread of their own, in the order they were written, while
// the main thread writes the next ones. A completion is several round trips to the system, each
// a call to the server under Wine, that would otherwise hold up the writing: a first start of
// an application of many small files lost about as much time to them as to its decoding. The
// thread starts with the first file handed over, so a start that writes nothing starts none.
#pragma once

#include <windows.h>

#include "payload/held_folders.h"

// Hands `file`, the partial file `partial` of `leaf` in `folder`, over to be completed, waiting
// while kPendingFiles handed over earlier are not. Completes it at once on this thread where no
// thread can be started. When a completion fails (completePartialFile), this or the next call on
// the main thread ends the process with the open-for-writing message for that file's
// `destination`.
void completeInTurn(HANDLE file, const HeldFolder& folder, const wchar_t* leaf,
                    const wchar_t* partial, const wchar_t* destination);

// Waits until every file handed over is complete; ends the process as completeInTurn does when
// one could not be.
void awaitCompletedFiles();

// Waits until every file handed over is complete or given up, and reports nothing: for a start
// that ends otherwise and removes its copy, which must not work beside the completions.
void settleHandedOverFiles();
