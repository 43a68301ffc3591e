#include "payload/verification_shares.h"

size_t verifierCount(uint64_t processors, uint64_t files) {
  uint64_t count = processors < kMaxVerifiers ? processors : kMaxVerifiers;
  count = files < count ? files : count;
  return count > 0 ? static_cast<size_t>(count) : 1;
}

size_t shareOfFile(uint64_t offset, uint64_t size, uint64_t totalBytes, size_t verifiers) {
  // Shares of the bytes rounded up, so that the last byte still falls in the last share.
  uint64_t shareBytes = totalBytes / verifiers + (totalBytes % verifiers != 0 ? 1 : 0);
  if (shareBytes == 0) {
    return 0;
  }
  uint64_t share = (offset + size / 2) / shareBytes;
  return share < verifiers ? static_cast<size_t>(share) : verifiers - 1;
}
