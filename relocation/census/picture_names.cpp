#include "relocation/census/picture_names.h"

#include <algorithm>
#include <cstring>

#include "relocation/references/reference_spelling.h"

namespace picrelink {
namespace {

constexpr uint64_t kFold4 = 0x0020002000200020ull;

uint64_t Load4(const char16_t* units) {
  uint64_t word;
  std::memcpy(&word, units, sizeof word);
  return word;
}

bool Same(const char16_t* a, std::u16string_view b) {
  size_t i = 0;
  for (; i + 4 <= b.size(); i += 4) {
    if (Load4(a + i) != Load4(b.data() + i)) return false;
  }
  for (; i < b.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

bool SameFolded(const char16_t* a, std::u16string_view b) {
  for (size_t i = 0; i < b.size(); ++i) {
    if (a[i] != b[i] && FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

uint64_t Mix(uint64_t hash, uint64_t word) {
  hash = (hash ^ word) * 0x100000001b3ull;
  return hash ^ (hash >> 32);
}

// The hash of a path: its folder part and its name apart.
uint64_t PathHash(std::u16string_view path) {
  const size_t slash = path.rfind(u'/');
  const size_t nameStart = slash == std::u16string_view::npos ? 0 : slash + 1;
  return PictureNames::Continue(
      PictureNames::Continue(PictureNames::kEmptyHash, path.substr(0, nameStart)),
      path.substr(nameStart));
}

}  // namespace

uint64_t PictureNames::Continue(uint64_t hash, std::u16string_view units) {
  size_t i = 0;
  for (; i + 4 <= units.size(); i += 4) hash = Mix(hash, Load4(units.data() + i) | kFold4);
  if (i < units.size()) {
    uint64_t tail = 0;
    for (size_t k = 0; i + k < units.size(); ++k) tail |= uint64_t{units[i + k]} << (16 * k);
    hash = Mix(hash, tail | kFold4);
  }
  return hash;
}

void PictureNames::Add(std::u16string_view path) {
  const uint64_t hash = PathHash(path);
  const size_t slash = path.rfind(u'/');
  const size_t nameStart = slash == std::u16string_view::npos ? 0 : slash + 1;
  const std::u16string_view folder = path.substr(0, nameStart);
  if (Find(folder, Continue(kEmptyHash, folder), path.substr(nameStart)) == Match::Exact) return;
  if ((entries_.size() + 1) * 2 > slots_.size()) Grow();
  entries_.push_back(
      {hash, static_cast<uint32_t>(units_.size()), static_cast<uint32_t>(path.size())});
  units_.append(path);
  const size_t mask = slots_.size() - 1;
  size_t slot = hash & mask;
  while (slots_[slot] != 0) slot = (slot + 1) & mask;
  slots_[slot] = static_cast<uint32_t>(entries_.size());
}

void PictureNames::Grow() {
  slots_.assign(std::max<size_t>(16, slots_.size() * 2), 0);
  const size_t mask = slots_.size() - 1;
  for (size_t i = 0; i < entries_.size(); ++i) {
    size_t slot = entries_[i].hash & mask;
    while (slots_[slot] != 0) slot = (slot + 1) & mask;
    slots_[slot] = static_cast<uint32_t>(i + 1);
  }
}

PictureNames::Match PictureNames::Find(std::u16string_view folder, uint64_t folderHash,
                                       std::u16string_view name) const {
  if (slots_.empty()) return Match::None;
  const uint64_t hash = Continue(folderHash, name);
  const size_t size = folder.size() + name.size();
  const size_t mask = slots_.size() - 1;
  Match match = Match::None;
  // Every path that differs only in ASCII case has the same hash: the whole
  // chain is read before a folded match is taken for the answer.
  for (size_t slot = hash & mask; slots_[slot] != 0; slot = (slot + 1) & mask) {
    const Entry& entry = entries_[slots_[slot] - 1];
    if (entry.hash != hash || entry.size != size) continue;
    const char16_t* path = units_.data() + entry.at;
    if (Same(path, folder) && Same(path + folder.size(), name)) return Match::Exact;
    if (SameFolded(path, folder) && SameFolded(path + folder.size(), name)) {
      if (ignoreCase_) return Match::Exact;
      match = Match::Folded;
    }
  }
  return match;
}

}  // namespace picrelink
