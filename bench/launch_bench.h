// Whole launcher starts under the system, timed from this program, and the launcher's peak
// memory.
#pragma once

#include <string>

// Folders below benchFolder() that the benchmark's two launchers unpack into: bench/run writes
// their target specs as {TEMP}\tarnic-bench\<name>.
constexpr wchar_t kLauncherTarget[] = L"launcher";
constexpr wchar_t kTinyLauncherTarget[] = L"tiny";

// Runs `runs` rounds of: a start of `child` alone and of `shellChild` (the same child importing
// shell32, as a launcher does); a first and a second start of `launcher` (which carries the
// benchmark's application, `child` first) and of `tinyLauncher` (which carries `child` alone),
// each second start also on one processor;
// and a first and second start of `launcher` and a second start of `tinyLauncher` with their
// memory watched. Writes "<figure>\t<round>\t<key>\t<value>" lines.
void runLaunchSuite(const std::wstring& child, const std::wstring& shellChild,
                    const std::wstring& launcher, const std::wstring& tinyLauncher, int runs);
