#include "rules/branch_filter.h"

#include "rules/little_endian.h"

namespace {

constexpr size_t kOperandBytes = 4;
// Operands are taken and stored modulo 2^25, sign-extended from bit 24.
constexpr uint32_t kOperandMask = (uint32_t{1} << 25) - 1;
constexpr uint32_t kOperandSignBit = uint32_t{1} << 24;

uint32_t signExtended(uint32_t value) {
  value &= kOperandMask;
  return (value & kOperandSignBit) != 0 ? value | ~kOperandMask : value;
}

// Whether an operand's top byte makes it one the filter converts: a rel32 of a near target, or
// the address the filter made of one.
bool isNearOperand(const unsigned char* operand) {
  return operand[kOperandBytes - 1] == 0x00 || operand[kOperandBytes - 1] == 0xFF;
}

// The opcode bytes of the form at `bytes`, whose second byte is `second` (any value when the
// first alone tells), or 0 when none starts there.
size_t opcodeBytes(unsigned char first, unsigned char second) {
  if (first == 0xE8 || first == 0xE9) {
    return 1;
  }
  if ((first == 0x0F && (second & 0xF0) == 0x80) ||
      (first == 0xFF && (second == 0x15 || second == 0x25))) {
    return 2;
  }
  return 0;
}

bool mayStartForm(unsigned char first) {
  return first == 0xE8 || first == 0xE9 || first == 0x0F || first == 0xFF;
}

// Converts the forms among the `count` bytes at `bytes`, which are followed by `rangeLeft` -
// `count` more bytes of their range and lie at `address`; `toTarget` filters, else it undoes the
// filter. Returns `count`, or the offset of a form that starts there and needs bytes past them.
// Forms that start within the first `*blocked` bytes are left as they are, and `*blocked` is
// left counting from the returned offset.
//
// The inverse sees a form's operand before it sees the forms after it restored, so a form that
// is left as it is blocks every form that starts before its operand's top byte: converting one
// of those could change that byte, and with it what the inverse would decide.
size_t convertForms(unsigned char* bytes, size_t count, uint64_t rangeLeft, uint32_t address,
                    bool toTarget, size_t* blocked) {
  size_t i = 0;
  const auto settle = [&](size_t settled) {
    *blocked = *blocked > settled ? *blocked - settled : 0;
    return settled;
  };
  while (i < count) {
    if (!mayStartForm(bytes[i])) {
      ++i;
      continue;
    }
    const uint64_t inRange = rangeLeft - i;
    const bool secondKnown = count - i >= 2;
    if (!secondKnown && inRange >= 2 && bytes[i] != 0xE8 && bytes[i] != 0xE9) {
      return settle(i);
    }
    const size_t opcode = opcodeBytes(bytes[i], secondKnown ? bytes[i + 1] : 0);
    const size_t form = opcode + kOperandBytes;
    if (opcode == 0 || inRange < form) {
      ++i;
      continue;
    }
    if (i < *blocked) {
      ++i;
      continue;
    }
    if (count - i < form) {
      return settle(i);
    }
    unsigned char* operand = bytes + i + opcode;
    if (!isNearOperand(operand)) {
      *blocked = i + form - 1;
      ++i;
      continue;
    }
    const uint32_t end = address + static_cast<uint32_t>(i + form);
    const uint32_t value = readLittleEndian<uint32_t>(operand);
    const uint32_t converted = signExtended(toTarget ? value + end : value - end);
    for (size_t k = 0; k < kOperandBytes; ++k) {
      operand[k] = static_cast<unsigned char>(converted >> (8 * k));
    }
    i += form;
  }
  return settle(count);
}

}  // namespace

void filterBranches(unsigned char* bytes, size_t count, uint32_t address) {
  size_t blocked = 0;
  convertForms(bytes, count, count, address, /* to target */ true, &blocked);
}

void unfilterBranches(unsigned char* bytes, size_t count, uint32_t address) {
  size_t blocked = 0;
  convertForms(bytes, count, count, address, /* to target */ false, &blocked);
}

bool readFilterRanges(const unsigned char* fields, uint32_t count, uint64_t fileBytes,
                      FilterRanges* ranges) {
  if (count == 0 || count > kMaxFilterRanges) {
    return false;
  }
  uint64_t end = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* field = fields + i * kFilterRangeBytes;
    FilterRange& range = ranges->ranges[i];
    range.offset = readLittleEndian<uint32_t>(field);
    range.bytes = readLittleEndian<uint32_t>(field + kFilterRangeFieldBytes);
    range.address = readLittleEndian<uint32_t>(field + 2 * kFilterRangeFieldBytes);
    if (range.bytes == 0 || range.offset < end ||
        uint64_t{range.offset} + range.bytes > fileBytes) {
      return false;
    }
    end = uint64_t{range.offset} + range.bytes;
  }
  ranges->count = count;
  return true;
}

size_t unfilterChunk(UnfilterCursor* cursor, unsigned char* bytes, size_t count) {
  size_t done = 0;
  while (done < count && cursor->next < cursor->ranges->count) {
    const FilterRange& range = cursor->ranges->ranges[cursor->next];
    const uint64_t rangeEnd = uint64_t{range.offset} + range.bytes;
    if (cursor->at < range.offset) {  // the file's own bytes before the range
      const uint64_t plain = range.offset - cursor->at;
      const size_t step = plain < count - done ? static_cast<size_t>(plain) : count - done;
      done += step;
      cursor->at += step;
      continue;
    }
    const uint64_t rangeLeft = rangeEnd - cursor->at;
    const size_t span = rangeLeft < count - done ? static_cast<size_t>(rangeLeft) : count - done;
    const size_t settled =
        convertForms(bytes + done, span, rangeLeft,
                     range.address + static_cast<uint32_t>(cursor->at - range.offset),
                     /* to target */ false, &cursor->blocked);
    done += settled;
    cursor->at += settled;
    if (settled < span) {
      return done;
    }
    if (cursor->at == rangeEnd) {
      ++cursor->next;
    }
  }
  cursor->at += count - done;  // after the last range
  return count;
}
