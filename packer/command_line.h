// tarnic-pack's command line: packs an application into a payload region and writes launchers
// that carry it. main_posix.cpp and main_win32.cpp start it, each on its system.
#pragma once

// The exit status of a command line the packer does not take; other failures give 1.
constexpr int kUsageStatus = 2;

// Prints "tarnic-pack: error: <message>" on standard error; the lines after the message's
// first go out as they are (indented by the caller).
void printError(const char* message);

// Runs the command of `argv`, whose arguments are UTF-8 (or the bytes of POSIX names), and
// returns the exit status: 0, kUsageStatus, or 1 when the command fails. Messages go to standard
// error.
int runPacker(int argc, char** argv);
