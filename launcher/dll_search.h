// Where the launcher's process looks for DLLs that it, or a system DLL on its behalf, loads at
// run time.
#pragma once

// Takes the current directory, which anyone who starts the launcher chooses, out of the DLL
// search order: SetDllDirectoryW with an empty string, and where the system offers it the
// search of system32 alone for every later load. Failures are ignored: the launch goes on with
// the order it has. Children keep the system's default order.
void restrictDllSearch();
