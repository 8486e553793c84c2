// RecordList<T>: an ordered list of records that grows at its end without
// ever moving a record.
//
// RecordList keeps its records in chunks: the first holds 1 record, each next
// one twice as many up to kLargestChunk, then every chunk holds kLargestChunk.
// Growing never copies what is there (no spike of old and new storage side by
// side) and leaves at most one chunk partly used; the list itself is 16 bytes,
// so a track without plug-ins costs no more. Records live until clear() or
// the list's end; references to them stay valid while the list grows.
// Allocation failures throw std::bad_alloc, leaving the list as it was; the
// chunks count against the thread's memory budget (runtime/memory.h).
#pragma once

#include "runtime/memory.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <new>
#include <stdexcept>
#include <utility>

template <class T>
class RecordList {
 public:
  static constexpr std::size_t kLargestChunk = 4096;

  RecordList() = default;
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;
  RecordList(RecordList&& other) noexcept { swap(other); }
  RecordList& operator=(RecordList&& other) noexcept {
    if (this != &other) {
      clear();
      swap(other);
    }
    return *this;
  }
  ~RecordList() { clear(); }

  void swap(RecordList& other) noexcept {
    std::swap(chunks_, other.chunks_);
    std::swap(size_, other.size_);
    std::swap(chunkCount_, other.chunkCount_);
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  T& operator[](std::size_t i) { return *locate(i); }
  const T& operator[](std::size_t i) const { return *locate(i); }
  T& at(std::size_t i) { return i < size_ ? *locate(i) : throw std::out_of_range("RecordList::at"); }
  const T& at(std::size_t i) const { return i < size_ ? *locate(i) : throw std::out_of_range("RecordList::at"); }
  T& back() { return *locate(size_ - 1); }
  const T& back() const { return *locate(size_ - 1); }

  template <class... Args>
  T& emplace_back(Args&&... args) {
    if (size_ == UINT32_MAX) throw std::bad_alloc();
    const Place place = placeOf(size_);
    if (place.chunk == chunkCount_) addChunk(place.chunk);
    T* record = new (chunks_[place.chunk] + place.offset) T(std::forward<Args>(args)...);
    ++size_;
    return *record;
  }

  void clear() noexcept {
    for (std::size_t i = size_; i > 0; --i) locate(i - 1)->~T();
    for (std::uint32_t c = 0; c < chunkCount_; ++c) {
      ::operator delete(chunks_[c]);
      RefundMemory(chunkSize(c) * sizeof(T));
    }
    std::free(chunks_);
    chunks_ = nullptr;
    size_ = 0;
    chunkCount_ = 0;
  }

  template <class List, class Record>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = Record*;
    using reference = Record&;
    Iterator(List* list, std::size_t index) : list_(list), index_(index) {}
    Record& operator*() const { return (*list_)[index_]; }
    Record* operator->() const { return &(*list_)[index_]; }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++index_;
      return before;
    }
    bool operator==(const Iterator& other) const { return index_ == other.index_; }

   private:
    List* list_;
    std::size_t index_;
  };
  using iterator = Iterator<RecordList, T>;
  using const_iterator = Iterator<const RecordList, const T>;
  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size_}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

 private:
  static constexpr std::size_t kGrowingChunks = std::countr_zero(kLargestChunk) + 1;  // 1, 2, ..., 4096
  static constexpr std::size_t kInGrowingChunks = 2 * kLargestChunk - 1;

  struct Place {
    std::uint32_t chunk;
    std::size_t offset;
  };
  static Place placeOf(std::size_t i) {
    if (i < kInGrowingChunks) {
      const auto chunk = static_cast<std::uint32_t>(std::bit_width(i + 1) - 1);
      return {chunk, i + 1 - (std::size_t{1} << chunk)};
    }
    const std::size_t rest = i - kInGrowingChunks;
    return {static_cast<std::uint32_t>(kGrowingChunks + rest / kLargestChunk), rest % kLargestChunk};
  }
  static std::size_t chunkSize(std::uint32_t chunk) {
    return chunk < kGrowingChunks ? std::size_t{1} << chunk : kLargestChunk;
  }
  T* locate(std::size_t i) const {
    const Place place = placeOf(i);
    return chunks_[place.chunk] + place.offset;
  }
  void addChunk(std::uint32_t chunk) {
    // The directory of chunks is small (a pointer per 4096 records).
    auto** chunks = static_cast<T**>(std::realloc(chunks_, (chunk + std::size_t{1}) * sizeof(T*)));
    if (!chunks) throw std::bad_alloc();
    chunks_ = chunks;
    ChargeMemory(chunkSize(chunk) * sizeof(T));
    try {
      chunks_[chunk] = static_cast<T*>(::operator new(chunkSize(chunk) * sizeof(T)));
    } catch (...) {
      RefundMemory(chunkSize(chunk) * sizeof(T));
      throw;
    }
    chunkCount_ = chunk + 1;
  }

  T** chunks_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t chunkCount_ = 0;
};
