// Whole launcher starts under the system, timed from this program, and the launcher's peak
// memory.
#pragma once

#include <string>

// Folders below benchFolder() that the benchmark's launchers unpack into: bench/run writes
// their target specs as {TEMP}\tarnic-bench\<name>, the versioned ones as
// {TEMP}\tarnic-bench\<name>\{VERSION} with the versions below. A first start takes the files
// it finds in the folders beside its target: the targets of first starts lie alone in a folder
// of their own, so that a first start finds none.
constexpr wchar_t kLauncherTarget[] = L"launcher\\copy";
constexpr wchar_t kTinyLauncherTarget[] = L"tiny\\copy";
constexpr wchar_t kCopyTarget[] = L"plain-copy";
constexpr wchar_t kUpdateTarget[] = L"update";
constexpr wchar_t kVersionsTarget[] = L"versions";
constexpr wchar_t kFirstVersion[] = L"1.0.0.0";
constexpr wchar_t kSecondVersion[] = L"2.0.0.0";

// The plain copy (bench/plain_copy.cpp) of the application folder `app`.
struct PlainCopy {
  std::wstring copier;
  std::wstring app;
};

// Runs `runs` rounds of: a start of `child` alone and of `shellChild` (the same child importing
// shell32, as a launcher does); a first and a second start of `launcher` (which carries the
// benchmark's application, `child` first) and of `tinyLauncher` (which carries `child` alone),
// each second start also on one processor; the same starts of `baseline` when it is not empty
// (the same application packed by an earlier packer, into the same target); and a first and
// second start of `launcher` (and a first of `baseline`) and a second start of `tinyLauncher`
// with their memory watched; and `copy` into an emptied folder, before or after the launcher's
// starts by turns. Writes "<figure>\t<round>\t<key>\t<value>" lines.
void runLaunchSuite(const std::wstring& child, const std::wstring& shellChild,
                    const std::wstring& launcher, const std::wstring& tinyLauncher,
                    const PlainCopy& copy, const std::wstring& baseline, int runs);

// Runs `runs` rounds of: a first start of the windowed launcher `withWindow`, whose options ask
// for the progress window, and of `withoutWindow`, the same without them, into the emptied
// target kLauncherTarget, the two taking turns at going first; then second starts of
// `withWindow` and of `baseline` (a windowed launcher of the same application packed by an
// earlier packer) over the files in place. Writes "window-first", "window-none-first",
// "window-second" and "window-baseline-second" figures.
void runWindowSuite(const std::wstring& withWindow, const std::wstring& withoutWindow,
                    const std::wstring& baseline, int runs);

// Runs `runs` rounds of the starts an update makes, between two versions of one application
// whose main program alone differs: a second start of `first` (version 1, target kUpdateTarget)
// with its files in place; a start of `second` (version 2, the same target) over version 1's
// files, which are put back by an untimed start of `first` before each round; and a first start
// of `secondVersioned` into kVersionsTarget\kSecondVersion, emptied before each, beside version
// 1's files, which `firstVersioned` unpacked into kVersionsTarget\kFirstVersion once before the
// rounds. Leaves both version folders in place for the disk space they take together.
void runUpdateSuite(const std::wstring& first, const std::wstring& second,
                    const std::wstring& firstVersioned, const std::wstring& secondVersioned,
                    int runs);

// Five versions, each started for the first time after the one before, into a folder of its own
// below kKeptTarget (`kept`, whose launchers keep two versions) and below kAllKeptTarget (`all`,
// which keep every version), the two taking turns at going first: each version's first start
// ("versions-kept-first", "versions-all-first"), from the second version on, in every round.
// Both folders are emptied before each round; the last round's stay for the disk they take.
constexpr wchar_t kKeptTarget[] = L"kept";
constexpr wchar_t kAllKeptTarget[] = L"all-kept";
constexpr int kBenchVersions = 5;
void runVersionsSuite(const std::wstring* kept, const std::wstring* all, int runs);
