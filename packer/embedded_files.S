# The files the packer carries in its own binary, so that it is one file to hand out and needs
# nothing else at run time: the Windows tree's prebuilt launcher images, the project's icon and
# the launchers' manifest. The build names the folders that hold them (the assembler's -I).

  .macro embed name, file
  .globl \name
  .globl \name\()_end
  .balign 16
\name:
  .incbin "\file"
\name\()_end:
  .endm

# Read-only data: .rodata in an ELF object, .rdata in a COFF one (the Windows packer).
#if defined(__ELF__)
  .section .rodata
#else
  .section .rdata, "dr"
#endif
  embed tarnic_console_launcher, "tarnic-launcher-console.exe"
  embed tarnic_windowed_launcher, "tarnic-launcher-windowed.exe"
  embed tarnic_project_icon, "tessaline-deck.ico"
  embed tarnic_launcher_manifest, "launcher.manifest"

#if defined(__ELF__)
  .section .note.GNU-stack, "", %progbits
#endif
