// The configuration compiled into the test programs that link launcher code.
#include "build/launcher_config.h"

extern const wchar_t kTargetSpec[] = L"{TEMP}\\tarnic-tests\\{PRODUCT}";
extern const wchar_t kCompanyName[] = L"Zarvel Dynamics";
extern const wchar_t kProductName[] = L"Tessaline Deck";
extern const wchar_t kVersion[] = L"1.20.0.0";
extern const wchar_t kFileVersion[] = L"1.20.0.1";
extern const wchar_t kProductVersion[] = L"1.20.0.2";
