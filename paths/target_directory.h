// The target directory: the target spec expanded, made a full path, and kept in the folder the
// spec starts from.
#pragma once

// Expands `spec` into `directory` (kPathUnits units) and makes it a full path (see
// normalizeTargetDirectory). When the spec starts with a token whose value is a full path
// ({CACHE_DIR}, {TEMP}, ...), the full path must be that token's folder or lie below it: the
// value of a later token, such as "..\..\x" for {COMPANY} in a launcher another tool wrote, may
// not lead it elsewhere. A spec that cannot be expanded, or whose path leaves that folder, ends
// the process with "Error, couldn't runtime expand spec '<spec>'." and the abnormal end.
void prepareTargetDirectory(wchar_t* directory, const wchar_t* spec);
