// The archive inventory written as HTML, JSON or CSV, into a byte sink.
//
// Every writer streams: it hands the sink pieces of at most about 64 KiB
// while it walks the inventory, and returns false as soon as the sink has
// refused a piece (nothing more is written then). The inventory must have
// been finished (ArchiveInventory::finish). `resources` is the resource
// folder the installed check used, as pathText gives it, or null when there
// was no check.
//
// HTML: one self-contained page (inline style and a small inline script for
// sorting and filtering, nothing loaded from elsewhere), every text escaped.
// JSON: the fields docs/inventory.schema.json describes. CSV: one
// row per plug-in instance, RFC 4180 quoting, CR LF, UTF-8.
#pragma once

#include "core/archive_inventory.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

using ByteSink = std::function<bool(std::string_view)>;

enum class InventoryFormat { Html, Json, Csv };

bool writeInventory(const ArchiveInventory& inventory, const std::optional<std::string>& resources,
                    InventoryFormat format, const ByteSink& sink);

bool writeInventoryHtml(const ArchiveInventory& inventory, const std::optional<std::string>& resources,
                        const ByteSink& sink);
bool writeInventoryJson(const ArchiveInventory& inventory, const std::optional<std::string>& resources,
                        const ByteSink& sink);
bool writeInventoryCsv(const ArchiveInventory& inventory, const ByteSink& sink);

// A buffer in front of a sink, shared by the writers.
class SinkWriter {
 public:
  explicit SinkWriter(const ByteSink& sink) : sink_(sink) { buffer_.reserve(kFlushAt + 4096); }
  SinkWriter& operator<<(std::string_view bytes) {
    buffer_ += bytes;
    if (buffer_.size() >= kFlushAt) flush();
    return *this;
  }
  SinkWriter& operator<<(std::uint64_t number) { return *this << std::string_view(std::to_string(number)); }
  // The buffer itself, for writers that build their text in place; call
  // flushIfFull() after appending.
  std::string& buffer() { return buffer_; }
  void flushIfFull() {
    if (buffer_.size() >= kFlushAt) flush();
  }
  // Hands over what is buffered; false once the sink has refused anything.
  bool flush() {
    if (ok_ && !buffer_.empty()) ok_ = sink_(buffer_);
    buffer_.clear();
    return ok_;
  }
  bool ok() const { return ok_; }

 private:
  static constexpr std::size_t kFlushAt = std::size_t{1} << 16;
  const ByteSink& sink_;
  std::string buffer_;
  bool ok_ = true;
};

// Text for a UTF-8 output: a lone surrogate kept by pathText becomes U+FFFD.
std::string_view replaceLoneSurrogates(std::string_view text, std::string& scratch);
