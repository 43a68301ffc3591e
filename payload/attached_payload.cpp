// Kept apart from the reader so that test programs can use the reader on regions of their own
// without a compiled-in region.
#include "payload/payload_reader.h"
#include "payload/payload_region.h"

void openPayload() {
  openPayloadRegion(kPayloadRegion, kPayloadRegionLength);
}
