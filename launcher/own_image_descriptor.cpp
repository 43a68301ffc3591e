// The descriptor as the prebuilt launcher carries it, before the packer fills it. Defined here
// alone, apart from the code that reads it, so that no compiler can take the zero fields for
// the values the launcher sees: the packer writes them into the image after linking.
#include "rules/image_descriptor.h"

extern "C" __attribute__((section(TARNIC_DESCRIPTOR_SECTION), used))
const DescriptorBytes kImageDescriptor = emptyDescriptor();
