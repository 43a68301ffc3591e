// Kept apart from the payload code so that test programs can unpack payloads of their own
// without a compiled-in one.
#include "launcher/own_payload.h"

#include "launcher/own_image.h"

// Where the packer placed them in this launcher's image.
AttachedPayload attachedPayload() {
  const ImageField region = imageField(kRegionField);
  const ImageField table = imageField(kEntryTableField);
  return AttachedPayload{region.bytes, region.length, table.bytes, table.length};
}
