#include "packer/pe/windows_program.h"

#include <cstdio>
#include <optional>

#include "packer/pe/pe_format.h"
#include "packer/pe/pe_image.h"
#include "rules/little_endian.h"

namespace {

constexpr const char* kWhatLaunchersStart =
    "; a launcher starts 64-bit x64 Windows programs only (PE32+, machine 0x8664)";

std::string machineName(uint16_t machine) {
  switch (machine) {
    case kMachineAmd64:
      return "x64";
    case kMachineI386:
      return "x86";
    case kMachineArm:
    case kMachineArmNt:
      return "ARM";
    case kMachineArm64:
      return "ARM64";
    case kMachineIa64:
      return "Itanium";
    default:
      return "an unknown processor";
  }
}

std::string machineText(uint16_t machine) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "%#x", machine);
  return std::string("machine ") + hex + ", " + machineName(machine);
}

// The first section whose data lies past the end of a file of `fileBytes`, as in a program cut
// short, which Windows refuses to start; "" when every section is whole.
std::string cutShortProblem(const PeHeaders& headers, uint64_t fileBytes) {
  for (const PeSection& section : headers.sections) {
    const uint64_t end = uint64_t{section.rawOffset} + section.rawSize;
    if (section.rawSize != 0 && end > fileBytes) {
      return "is cut short: its section \"" + section.name + "\" (" +
             std::to_string(section.rawSize) + " bytes at offset " +
             std::to_string(section.rawOffset) + ") runs past the end of the file (" +
             std::to_string(fileBytes) + " bytes)";
    }
  }
  return "";
}

}  // namespace

MainProgram inspectMainProgram(const unsigned char* head, size_t headBytes, uint64_t fileBytes) {
  MainProgram program;
  if (fileBytes == 0) {
    program.problem = "is empty (0 bytes)";
    return program;
  }
  std::string why;
  const std::optional<PeHeaders> headers = readPeHeaders(head, headBytes, why);
  if (!headers) {
    program.problem = "is not a Windows program: " + why + kWhatLaunchersStart;
  } else if (headers->optionalMagic == kPe32Magic) {
    program.problem = "is a 32-bit Windows program (PE32, " + machineText(headers->machine) + ")" +
                      kWhatLaunchersStart;
  } else if (headers->optionalMagic != kPe32PlusMagic) {
    program.problem = "is not a Windows program: its PE header is neither PE32 nor PE32+";
  } else if (headers->machine != kMachineAmd64) {
    program.problem = "is a 64-bit Windows program for another processor (" +
                      machineText(headers->machine) + ")" + kWhatLaunchersStart;
  } else if ((headers->characteristics & kFileDll) != 0) {
    program.problem = "is a DLL, not a program" + std::string(kWhatLaunchersStart);
  } else if ((headers->characteristics & kFileExecutableImage) == 0) {
    program.problem = "is not marked as an executable image" + std::string(kWhatLaunchersStart);
  } else {
    program.problem = cutShortProblem(*headers, fileBytes);
    const uint16_t subsystem = readLittleEndian<uint16_t>(head + headers->optional + kOptSubsystem);
    program.windowed = subsystem == kSubsystemWindowsGui;
  }
  return program;
}
