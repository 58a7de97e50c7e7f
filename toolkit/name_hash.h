// A keyed hash for tables whose keys come from outside: node names read from
// a project file or from JSON. The standard library's string hash is
// unseeded, so a file can carry thousands of names that all land in one
// bucket and turn every lookup into a walk (a load that should take
// milliseconds takes seconds). SipHash-1-3 under a key drawn once per
// process from the system's random source makes such names impossible to
// choose in advance.
//
// Header only and internal: the toolkit and libkestrum each get their own
// copy with their own key, which is fine because a hash never leaves the
// process or the library that computed it.
#ifndef KESTRUM_TOOLKIT_NAME_HASH_H
#define KESTRUM_TOOLKIT_NAME_HASH_H

#include <sys/random.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tk {

namespace name_hash_detail {

inline uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct Key {
  uint64_t k0 = 0;
  uint64_t k1 = 0;
};

// Drawn once; if the random source cannot be read (no getrandom in a
// sandbox), the clock and an address still make the key differ per run.
inline Key draw_key() {
  Key key;
  unsigned char bytes[16];
  if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bytes)) {
    std::memcpy(&key.k0, bytes, 8);
    std::memcpy(&key.k1, bytes + 8, 8);
  } else {
    key.k0 = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    key.k1 = reinterpret_cast<uintptr_t>(&key) ^ 0x9e3779b97f4a7c15ULL;
  }
  return key;
}

inline const Key &key() {
  static const Key k = draw_key();
  return k;
}

}  // namespace name_hash_detail

// SipHash-1-3 of `text` under the process's key.
inline uint64_t name_hash(std::string_view text) {
  using name_hash_detail::rotl;
  const auto &key = name_hash_detail::key();
  uint64_t v0 = key.k0 ^ 0x736f6d6570736575ULL;
  uint64_t v1 = key.k1 ^ 0x646f72616e646f6dULL;
  uint64_t v2 = key.k0 ^ 0x6c7967656e657261ULL;
  uint64_t v3 = key.k1 ^ 0x7465646279746573ULL;
  auto round = [&] {
    v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
    v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
    v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
    v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
  };
  const auto *p = reinterpret_cast<const unsigned char *>(text.data());
  size_t n = text.size();
  size_t whole = n & ~size_t{7};
  for (size_t i = 0; i < whole; i += 8) {
    uint64_t m;
    std::memcpy(&m, p + i, 8);  // little-endian machines only, like the file format
    v3 ^= m;
    round();
    v0 ^= m;
  }
  uint64_t last = static_cast<uint64_t>(n) << 56;
  for (size_t i = 0; i < (n & 7); ++i) last |= static_cast<uint64_t>(p[whole + i]) << (8 * i);
  v3 ^= last;
  round();
  v0 ^= last;
  v2 ^= 0xff;
  round();
  round();
  round();
  return v0 ^ v1 ^ v2 ^ v3;
}

// For std::unordered_map / unordered_set keyed by names.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return static_cast<size_t>(name_hash(text)); }
  size_t operator()(const std::string &text) const { return operator()(std::string_view(text)); }
  size_t operator()(const char *text) const { return operator()(std::string_view(text)); }
};

}  // namespace tk

#endif
