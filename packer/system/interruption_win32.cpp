// Nothing to do on Windows. Ctrl-C, Ctrl-Break and closing the console end the packer through
// the system's default handler (ExitProcess), a kill through TerminateProcess; either way the
// system closes the process's handles, and every temporary file of output_file_win32.cpp is
// marked for deletion until it is committed, which the system carries out when its handle closes.
#include "packer/system/interruption.h"

void catchInterruptions() {}

RemovedOnInterruption::RemovedOnInterruption(const std::filesystem::path& /* path */,
                                             bool /* folder */)
    : slot_(-1) {}

RemovedOnInterruption::~RemovedOnInterruption() = default;
