// The archive inventory written as HTML, JSON or CSV, into a byte sink, one
// project at a time.
//
// An InventoryWriter is handed the projects in path order (addProject) and
// then the totals (finish). Each writes through one BufferedWriter
// (runtime/byte_sink.h). CSV goes straight to the sink. JSON and HTML put
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
// PathText gives it, or null when there was no check. `stamp` says when and
// by which version the inventory was made (JSON and HTML).
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
#include "runtime/byte_sink.h"
#include "runtime/path_text.h"
#include "runtime/scratch_file.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class InventoryFormat { Html, Json, Csv };
// The table a CSV output holds: one row per plug-in instance, per project,
// or per media file a project names.
enum class CsvTable { Instances, Projects, Media };

// A backup listed under its project: its path (PathText) and status.
struct InventoryBackup {
  std::string path;
  ProjectStatus status;
};

// One project as the writers see it: its path in PathText form, what it
// needs (whose instances a writer reads back, hence not const), the other
// paths that lead to the same file (PathText, sorted), and its backups (in
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

// When and by what an inventory was made.
struct InventoryStamp {
  std::string generated;  // ISO 8601 in UTC, e.g. "2026-05-01T12:00:00Z"
  std::string version;    // the program's version
};

// The writer of a format; `sink` must outlive it. `table` is for CSV only.
std::unique_ptr<InventoryWriter> makeInventoryWriter(InventoryFormat format, std::optional<std::string> resources,
                                                     ByteSink& sink, InventoryStamp stamp = {},
                                                     CsvTable table = CsvTable::Instances);

// Text for a UTF-8 output: a lone surrogate kept by PathText becomes U+FFFD.
std::string_view replaceLoneSurrogates(std::string_view text, std::string& scratch);

// The writers of each format (inventory_html.cpp, inventory_json.cpp, inventory_csv.cpp).
std::unique_ptr<InventoryWriter> makeInventoryHtmlWriter(std::optional<std::string> resources, ByteSink& sink,
                                                         InventoryStamp stamp = {});
std::unique_ptr<InventoryWriter> makeInventoryJsonWriter(std::optional<std::string> resources, ByteSink& sink,
                                                         InventoryStamp stamp = {});
std::unique_ptr<InventoryWriter> makeInventoryCsvWriter(ByteSink& sink, CsvTable table = CsvTable::Instances);

// A part of the output set aside in a scratch file, written through its own
// BufferedWriter, and copied into the real sink later.
class SetAside {
 public:
  SetAside() : out_(file_) {}
  SetAside(const SetAside&) = delete;
  SetAside& operator=(const SetAside&) = delete;
  bool open(TextView folder) { return file_.create(folder); }
  BufferedWriter& out() { return out_; }
  // Hands what the writer holds to the scratch file: false when it could not
  // be stored. Called before the first byte of the output, so that a part
  // that cannot be set aside fails the run before anything is written.
  bool settle() { return out_.flush(); }
  // Copies everything set aside into `sink`.
  bool copyTo(ByteSink& sink) { return out_.flush() && file_.copyTo(sink); }
  bool failed() const { return file_.failed() || !out_.ok(); }
  Text failureReason() const { return file_.failureReason(); }

 private:
  ScratchFile file_;
  BufferedWriter out_;
};
