#include "launcher/child_creation.h"

DWORD childCreationFlags() {
  return NORMAL_PRIORITY_CLASS;
}
