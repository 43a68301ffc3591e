// The launcher's own image descriptor (rules/image_descriptor.h), read where the loader put the
// image; it also defines the values of configuration/launcher_values.h.
#pragma once

#include <cstdint>

#include "rules/image_descriptor.h"

struct ImageField {
  const unsigned char* bytes;  // the image base plus the field's RVA
  uint32_t length;
};

// Checks the descriptor against the image the loader mapped (isSoundDescriptor): ends the
// process with "Error, couldn't find attached data header." when a field is out of place.
// Until it has passed, every field reads as empty.
void checkImageDescriptor();

// The bytes the descriptor's `field` points at: none (length 0) in an image the packer has not
// filled.
ImageField imageField(DescriptorField field);
