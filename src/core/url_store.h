#pragma once
// The URL list's entries in compact form: each entry's address, title and description lie
// packed one after another in blocks that never move, and the address index holds entry
// numbers. An entry costs its text, a pointer and a few bytes of index.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class TURLStore {
 public:
  TURLStore() = default;
  TURLStore(TURLStore&&) noexcept = default;
  TURLStore& operator=(TURLStore&&) noexcept = default;

  std::size_t Size() const { return entries_.size(); }
  // Room for `count` entries in all, so that filling them does not rehash the index.
  void Reserve(std::size_t count);
  // Appends an entry as given, duplicates too. The index keys on the address without
  // surrounding blanks; a duplicate's key stays with the first entry.
  void Append(std::string_view url, std::string_view title, std::string_view description);
  // Whether an entry's trimmed address equals `trimmedUrl`.
  bool Contains(std::string_view trimmedUrl) const;
  void Clear();

  // Views into the store, valid until it is cleared, replaced or destroyed.
  std::string_view URL(std::size_t index) const;
  std::string_view Title(std::size_t index) const;
  std::string_view Description(std::size_t index) const;

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;

  char* Allocate(std::size_t bytes);
  std::size_t Slot(std::string_view trimmedUrl) const;
  void Rehash(std::size_t slots);

  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockSize_ = 0;  // of the last block
  std::size_t blockUsed_ = 0;  // bytes taken of the last block
  std::vector<const char*> entries_;
  // Open addressing, linear probing: entry numbers, kEmpty where free; at most half full.
  std::vector<uint32_t> slots_;
  std::size_t keys_ = 0;
};
