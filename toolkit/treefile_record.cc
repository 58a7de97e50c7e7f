// The record codec: a record in memory, laid out by its design, to and from
// its form in the tree file (see treefile_dictionary.h for both forms).
//
// Fields are copied with memcpy rather than through typed pointers, so a
// record buffer needs no particular alignment beyond what its owner gave it.
// Recursion follows record-list nesting, which designs keep within
// kMaxDesignDepth.
#include <cmath>
#include <cstring>

#include "toolkit_internal.h"
#include "treefile_dictionary.h"

namespace tk::tree {

namespace {

uint32_t zigzag(int32_t value) {
  return (static_cast<uint32_t>(value) << 1) ^ static_cast<uint32_t>(value >> 31);
}

int32_t unzigzag(uint32_t value) {
  return static_cast<int32_t>((value >> 1) ^ (0u - (value & 1u)));
}

// Times are mostly whole seconds, which take 5 bytes as a varint instead of
// 8 raw ones. A time is stored as varint 2 * zigzag(t) when it is a whole
// number of magnitude at most 2^53 (every such double converts to an int64
// and back exactly) and not negative zero; otherwise as varint 1 followed by
// the 8 bytes of the double, so every bit pattern survives.
constexpr double kExactIntegers = 9007199254740992.0;  // 2^53

void encode_time(uint64_t bits, ByteWriter &w) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  if (std::isfinite(value) && std::fabs(value) <= kExactIntegers && value == std::trunc(value) &&
      !(value == 0 && std::signbit(value))) {
    auto whole = static_cast<int64_t>(value);
    uint64_t coded = (static_cast<uint64_t>(whole) << 1) ^ static_cast<uint64_t>(whole >> 63);
    w.varint(coded << 1);
  } else {
    w.varint(1);
    w.u64(bits);
  }
}

inline bool decode_time(ByteReader &in, uint64_t *bits) {
  const unsigned char *start = in.here();
  uint64_t tag = 0;
  if (!in.varint(&tag)) return false;
  if (tag == 1) return in.u64(bits);
  const size_t at = in.offset_of(start);
  if (tag & 1) return in.fail_at(at, "bad time");
  uint64_t coded = tag >> 1;
  auto whole = static_cast<int64_t>((coded >> 1) ^ (0 - (coded & 1)));
  if (whole > (int64_t{1} << 53) || whole < -(int64_t{1} << 53)) return in.fail_at(at, "bad time");
  auto value = static_cast<double>(whole);
  std::memcpy(bits, &value, sizeof value);
  return true;
}

// The name of item `position` of the design, for a report.
std::string item_name(const tk_Design &design, size_t position) {
  ItemView item;
  ItemCursor cursor(design);
  for (size_t i = 0; cursor.next(item); ++i)
    if (i == position) return std::string(item.name);
  return "";
}

}  // namespace

bool encode_record(const tk_Design &design, const void *record, std::string &out, std::string &error) {
  const auto *base = static_cast<const unsigned char *>(record);
  ByteWriter w(out);
  const auto &designs = design.dictionary->designs;
  size_t position = 0;
  // The design's steps, laid out when it was made, spare every record the
  // parse of the design's compact form.
  const bool whole = each_step(design, [&](const DesignStep &item) {
    const unsigned char *field = base + item.offset;
    const size_t at = position++;
    switch (item.kind) {
      case TK_ITEM_STRING: {
        tk_StringItem s;
        std::memcpy(&s, field, sizeof s);
        if (s.count < 0) {
          error = "string item \"" + item_name(design, at) + "\" has a negative count";
          return false;
        }
        if (s.count == 0) {  // absent, whatever the text pointer shows
          w.varint(0);
          break;
        }
        if (!s.text) {
          error = "string item \"" + item_name(design, at) + "\" has a count but no text";
          return false;
        }
        // The count bounds the scan, so a text without its NUL is not overrun.
        size_t length = strnlen(s.text, static_cast<size_t>(s.count) - 1);
        w.varint(length + 1);
        w.bytes(s.text, length);
        break;
      }
      case TK_ITEM_ENUM: {
        int32_t value;
        std::memcpy(&value, field, sizeof value);
        w.varint(zigzag(value));
        break;
      }
      case TK_ITEM_TIME: {
        uint64_t bits;
        std::memcpy(&bits, field, sizeof bits);
        encode_time(bits, w);
        break;
      }
      case TK_ITEM_RECORD_LIST: {
        tk_RecordList list;
        std::memcpy(&list, field, sizeof list);
        if (list.count < 0 || (list.count > 0 && !list.elements)) {
          error = "record list \"" + item_name(design, at) + "\" has a bad count or no elements";
          return false;
        }
        w.varint(static_cast<uint64_t>(list.count));
        w.flush();  // the elements append to the string themselves
        const tk_Design &element = *designs[item.element];
        const auto *elements = static_cast<const unsigned char *>(list.elements);
        for (int32_t i = 0; i < list.count; ++i)
          if (!encode_record(element, elements + static_cast<size_t>(i) * element.size, out, error)) return false;
        break;
      }
      default:
        error = "unknown item kind";
        return false;
    }
    return true;
  });
  w.flush();
  return whole;
}

namespace {

template <bool kCheck>
bool decode(const tk_Design &design, ByteReader &in, unsigned char *record, ListHead *head);

// One item of the decoder below.
template <bool kCheck>
[[gnu::always_inline]] inline bool decode_item(const tk_Dictionary &dictionary, const DesignStep &step, ByteReader &in,
                                               unsigned char *record, ListHead *head) {
  const auto &designs = dictionary.designs;
  unsigned char *field = record ? record + step.offset : nullptr;
  switch (step.kind) {
    case TK_ITEM_STRING: {
      uint64_t count = 0;
      if (!in.varint_max(INT32_MAX, &count, "string too long")) return false;
      if (count == 0) break;  // absent: the zeroed field reads as count 0, text null
      const unsigned char *bytes = nullptr;
      size_t length = static_cast<size_t>(count) - 1;
      if (!in.take(length, &bytes, "string runs past its record")) return false;
      if (kCheck && std::memchr(bytes, 0, length)) return in.fail("string holds a NUL byte");
      if (field) {
        // Every byte is written, so the block need not be zeroed first.
        auto *text = static_cast<char *>(heap_alloc(length + 1));
        if (!text) return false;
        std::memcpy(text, bytes, length);
        text[length] = '\0';
        tk_StringItem s{static_cast<int32_t>(count), text};
        std::memcpy(field, &s, sizeof s);
      }
      break;
    }
    case TK_ITEM_ENUM: {
      uint64_t coded = 0;
      if (!in.varint_max(UINT32_MAX, &coded, "enumeration value out of range")) return false;
      if (field) {
        int32_t value = unzigzag(static_cast<uint32_t>(coded));
        std::memcpy(field, &value, sizeof value);
      }
      break;
    }
    case TK_ITEM_TIME: {
      uint64_t bits = 0;
      if (!decode_time(in, &bits)) return false;
      if (field) std::memcpy(field, &bits, sizeof bits);
      break;
    }
    case TK_ITEM_RECORD_LIST: {
      const tk_Design &element = *designs[step.element];
      uint64_t count = 0;
      if (!in.count(&count, element.min_encoded, "more list elements than the record can hold")) return false;
      if (count > INT32_MAX) return in.fail("too many list elements");
      unsigned char *elements = nullptr;
      if (head && !head->taken) {
        // Left for the caller to take a part at a time; checking the
        // elements costs no memory and reaches the items after them.
        head->taken = true;
        head->element = &element;
        head->offset = in.offset();
        head->count = count;
        if (field) {
          tk_RecordList list{static_cast<int32_t>(count), nullptr};
          std::memcpy(field, &list, sizeof list);
        }
        for (uint64_t i = 0; i < count; ++i)
          if (!decode<kCheck>(element, in, nullptr, nullptr)) return false;
        break;
      }
      if (field && count > 0) {
        // Bounded: every element takes at least one byte of the file.
        elements = static_cast<unsigned char *>(tk_HeapMalloc(static_cast<size_t>(count) * element.size));
        if (!elements) return false;
        tk_RecordList list{static_cast<int32_t>(count), elements};
        std::memcpy(field, &list, sizeof list);  // stored at once, so a failure below frees it
      }
      for (uint64_t i = 0; i < count; ++i)
        if (!decode<kCheck>(element, in, elements ? elements + i * element.size : nullptr, nullptr)) return false;
      break;
    }
    default:
      return in.fail("unknown item kind");
  }
  return true;
}

// The decoder of decode_record and decode_checked_record: `kCheck` says
// whether the bytes still need the checks that a first decode makes.
template <bool kCheck>
bool decode(const tk_Design &design, ByteReader &in, unsigned char *record, ListHead *head) {
  const tk_Dictionary &dictionary = *design.dictionary;
  if (!design.steps.empty()) {
    for (const DesignStep &step : design.steps)
      if (!decode_item<kCheck>(dictionary, step, in, record, head)) return false;
    return true;
  }
  return each_step(design, [&](const DesignStep &step) { return decode_item<kCheck>(dictionary, step, in, record, head); });
}

}  // namespace

bool decode_record(const tk_Design &design, ByteReader &in, unsigned char *record, ListHead *head) {
  return decode<true>(design, in, record, head);
}

bool decode_checked_record(const tk_Design &design, ByteReader &in, unsigned char *record, ListHead *head) {
  return decode<false>(design, in, record, head);
}

void free_record_contents(const tk_Design &design, unsigned char *record) {
  const auto &designs = design.dictionary->designs;
  each_step(design, [&](const DesignStep &step) {
    unsigned char *field = record + step.offset;
    if (step.kind == TK_ITEM_STRING) {
      tk_StringItem s;
      std::memcpy(&s, field, sizeof s);
      tk_HeapFree(s.text);
    } else if (step.kind == TK_ITEM_RECORD_LIST) {
      const tk_Design &element = *designs[step.element];
      tk_RecordList list;
      std::memcpy(&list, field, sizeof list);
      auto *elements = static_cast<unsigned char *>(list.elements);
      if (!elements) return true;
      for (int32_t i = 0; i < list.count; ++i) free_record_contents(element, elements + static_cast<size_t>(i) * element.size);
      tk_HeapFree(elements);
    }
    return true;
  });
}

}  // namespace tk::tree
