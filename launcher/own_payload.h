// The payload the packer placed into this launcher's image.
#pragma once

#include "payload/attached_payload.h"

// Where the packer placed the region and its entry table in this launcher's image.
AttachedPayload attachedPayload();
