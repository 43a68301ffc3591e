// One launch at a time unpacks into a target directory. Launches that unpack side by side see
// each other's half-written files as changed: they truncate files that another launch is about
// to start, and their reads and writes of one file lock each other out. The lock is a named
// mutex, so it needs no file of its own and a launch that dies leaves it free.
#pragma once

#include <cstddef>

// Units of a lock name: the prefix, 16 hex digits and the terminator.
constexpr size_t kLockNameUnits = 64;

// The mutex name for a directory whose identity (see formatTargetLockName) is `identity`: the
// same for every spelling that differs only in ASCII case.
void formatLockName(const wchar_t* identity, wchar_t* name);

// The mutex name for `directory`, whatever way its path reaches it: the identity is the
// system's path, through every link, of the deepest folder of the path that exists, followed by
// the rest of the path as it stands.
void formatTargetLockName(const wchar_t* directory, wchar_t* name);

// Waits until no other launch unpacks into `directory`, then holds the lock. When the system
// gives no mutex the launch goes on unlocked, as launches did before the lock. A wait that fails
// ends the process with "Error, couldn't unpack file to target path." and the system error.
void lockTargetDirectory(const wchar_t* directory);

// Takes the lock of `directory` when no launch holds it, without waiting: false when one does
// (it unpacks there, so the copy is in use) or the system gives no mutex. When this process
// holds a lock already (it ends while it unpacks), that one is taken as `directory`'s.
bool tryLockTargetDirectory(const wchar_t* directory);
void unlockTargetDirectory();
