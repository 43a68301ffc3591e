// The target directory: the target spec expanded, made a full path, and kept with the folder the
// spec starts from.
#pragma once

// Expands `spec` into `directory` (kPathUnits units) and makes it a full path (see
// normalizeTargetDirectory). When the spec starts with a token whose value is a full path
// ({CACHE_DIR}, {PROGRAM}, ...), the target must keep with the folder that value names, by the
// rule the packer checks specs with (rules/target_rule.h): in or below it, or beside it under a
// name that goes on from the value's last name ({PROGRAM}.d, {TEMP}-t), so that the value of a
// later token, such as "..\..\x" for {COMPANY} in a launcher another tool wrote, cannot lead it
// elsewhere; and the full path the system makes of it must begin with that folder's. A spec
// that cannot be expanded, or whose path leaves that folder, ends the process with "Error,
// couldn't runtime expand spec '<spec>'." and the abnormal end.
void prepareTargetDirectory(wchar_t* directory, const wchar_t* spec);
