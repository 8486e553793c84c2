// The archive inventory written as HTML, JSON or CSV, into a byte sink, one
// project at a time.
//
// An InventoryWriter is handed the projects in path order (addProject) and
// then the totals (finish). CSV goes straight to the sink. JSON and HTML put
// the summary and the plug-in table before the projects, so they set each
// project's part aside in scratch files (runtime/scratch_file.h; none is
// left behind, whatever happens) and copy them into the sink after those.
// Memory stays the same however many projects there are.
//
// open(scratchFolder) makes the scratch files in that folder ("" for the
// system's folder for temporary files); false when it cannot. Every call is
// false once anything failed: the sink refused a piece, a scratch file could
// not be written or read back, or a project's instances set aside could not
// be (ProjectInventory::forEach); failureReason() then words the scratch
// file's failure, and is empty when it was the sink's (whose owner knows
// why). `resources` is the resource folder the installed check used, as
// pathText gives it, or null when there was no check.
//
// HTML: one self-contained page (inline style and a small inline script for
// sorting and filtering, nothing loaded from elsewhere), every text escaped.
// JSON: the fields docs/inventory.schema.json describes. CSV: one row per
// plug-in instance, project or media reference (CsvTable), RFC 4180 quoting,
// CR LF, UTF-8 after a byte-order mark (so that spreadsheets take it for
// UTF-8); a text cell that
// a spreadsheet would take for a formula (it starts with "=", "+", "-", "@",
// a tab or a carriage return) starts with "'" (numbers never do).
#pragma once

#include "core/archive_totals.h"
#include "runtime/path_text.h"
#include "runtime/scratch_file.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using ByteSink = std::function<bool(std::string_view)>;

enum class InventoryFormat { Html, Json, Csv };
// The table a CSV output holds: one row per plug-in instance, per project,
// or per media file a project names.
enum class CsvTable { Instances, Projects, Media };

// A backup listed under its project: its path (pathText) and status.
struct InventoryBackup {
  std::string path;
  ProjectStatus status;
};

// One project as the writers see it: its path in pathText form, what it
// needs (whose instances a writer reads back, hence not const), the other
// paths that lead to the same file (pathText, sorted), and its backups (in
// path order).
struct InventoryProject {
  std::string_view path;
  ProjectInventory& inventory;
  std::vector<std::string_view> alsoAt = {};
  std::vector<InventoryBackup> backups = {};
};

class InventoryWriter {
 public:
  virtual ~InventoryWriter() = default;
  virtual bool open(TextView scratchFolder) = 0;
  virtual bool addProject(const InventoryProject& project) = 0;
  // `totals` finished (ArchiveTotals::finish).
  virtual bool finish(const ArchiveTotals& totals) = 0;
  virtual Text failureReason() const = 0;
};

// The writer of a format; `sink` must outlive it. `table` is for CSV only.
std::unique_ptr<InventoryWriter> makeInventoryWriter(InventoryFormat format, std::optional<std::string> resources,
                                                     const ByteSink& sink, CsvTable table = CsvTable::Instances);

// A buffer in front of a sink, shared by the writers.
class SinkWriter {
 public:
  explicit SinkWriter(const ByteSink& sink) : sink_(sink) { buffer_.reserve(kFlushAt + 4096); }
  // A piece as large as the buffer goes to the sink as it is, not copied.
  SinkWriter& operator<<(std::string_view bytes) {
    if (bytes.size() >= kFlushAt) {
      if (flush()) ok_ = sink_(bytes);
      return *this;
    }
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

// The writers of each format (inventory_html.cpp, inventory_json.cpp, inventory_csv.cpp).
std::unique_ptr<InventoryWriter> makeInventoryHtmlWriter(std::optional<std::string> resources, const ByteSink& sink);
std::unique_ptr<InventoryWriter> makeInventoryJsonWriter(std::optional<std::string> resources, const ByteSink& sink);
std::unique_ptr<InventoryWriter> makeInventoryCsvWriter(const ByteSink& sink, CsvTable table = CsvTable::Instances);

// A part of the output set aside in a scratch file, written through its own
// SinkWriter, and copied into the real sink later.
class SetAside {
 public:
  SetAside() : sink_([this](std::string_view bytes) { return file_.write(bytes); }), out_(sink_) {}
  SetAside(const SetAside&) = delete;
  SetAside& operator=(const SetAside&) = delete;
  bool open(TextView folder) { return file_.create(folder); }
  SinkWriter& out() { return out_; }
  // Copies everything set aside into `sink`.
  bool copyTo(const ByteSink& sink) { return out_.flush() && file_.copyTo(sink); }
  bool failed() const { return file_.failed() || !out_.ok(); }
  Text failureReason() const { return file_.failureReason(); }

 private:
  ScratchFile file_;
  ByteSink sink_;
  SinkWriter out_;
};
