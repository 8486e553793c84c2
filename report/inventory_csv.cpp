#include "report/inventory_output.h"

#include "core/media_paths.h"

namespace {

// Whether a spreadsheet would read a text starting so as a formula.
bool looksLikeFormula(std::string_view text) {
  return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
}

// One RFC 4180 field: quoted when it holds a comma, a quote, CR or LF. A
// text that a spreadsheet would run as a formula gets a "'" in front; a
// number (`text` false) is written as it is. A long one goes out in pieces,
// never copied whole.
void cell(BufferedWriter& out, std::string_view value, bool last = false, bool text = true) {
  std::string scratch;
  value = replaceLoneSurrogates(value, scratch);
  const char* guard = text && looksLikeFormula(value) ? "'" : "";
  if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
    out << guard << value;
  } else {
    out << "\"" << guard;
    for (std::size_t at = 0; at < value.size();) {  // each quote doubled
      const std::size_t quote = value.find('"', at);
      const std::size_t end = quote == std::string_view::npos ? value.size() : quote + 1;
      out << value.substr(at, end - at);
      if (quote != std::string_view::npos) out << "\"";
      at = end;
    }
    out << "\"";
  }
  out << (last ? "\r\n" : ",");
}

// A byte-order mark: spreadsheets read the file as UTF-8 only after one.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

class CsvWriter : public InventoryWriter {
 public:
  CsvWriter(ByteSink& sink, CsvTable table) : out_(sink), table_(table) {}

  bool open(TextView) override {
    out_ << kByteOrderMark;
    switch (table_) {
      case CsvTable::Instances:
        out_ << "project,location,track,track name,item,format,kind,name,vendor,file,id,state,preset,status,"
                "container,reaper_version,reaper_platform,project_status\r\n";
        break;
      case CsvTable::Projects:
        out_ << "project,reaper_version,reaper_platform,project_status,tracks,instances,plugins,missing_plugins,"
                "missing_plugins_to_play,missing_plugins_to_edit,media,missing_media,backups\r\n";
        break;
      case CsvTable::Media:
        out_ << "project,file,resolved,exists,found_by_name,uses\r\n";
        break;
    }
    return out_.ok();
  }

  bool addProject(const InventoryProject& p) override {
    if (table_ == CsvTable::Projects) return projectRow(p);
    if (table_ == CsvTable::Media) return mediaRows(p);
    const std::string_view projectStatus = projectStatusWord(p.inventory.status);
    const bool replayed = p.inventory.forEach([&](const PluginInstance& i) {
      cell(out_, p.path);
      cell(out_, locationWord(i.location));
      cell(out_, i.location == FxLocation::Master ? std::string() : std::to_string(i.track), false, false);
      cell(out_, i.trackName);
      cell(out_, i.item);
      cell(out_, formatWord(i.format));
      cell(out_, i.instrument ? "instrument" : "effect");
      cell(out_, i.name);
      cell(out_, i.vendor);
      cell(out_, i.file);
      cell(out_, i.id);
      cell(out_, stateWord(i.state));
      cell(out_, i.preset);
      cell(out_, statusWord(i.status));
      cell(out_, i.container);
      cell(out_, p.inventory.reaperVersion);
      cell(out_, p.inventory.reaperPlatform);
      cell(out_, projectStatus, true);
    }, [](const MediaReference&) {});
    if (!replayed) {
      setAsideFailure_ = p.inventory.failureReason();
      return false;
    }
    return out_.ok();
  }

  bool finish(const ArchiveTotals&) override { return setAsideFailure_.empty() && out_.flush(); }
  Text failureReason() const override { return setAsideFailure_; }

 private:
  // One row per project, those without plug-ins too: its counts and status.
  bool projectRow(const InventoryProject& p) {
    const ProjectInventory& i = p.inventory;
    auto number = [&](std::uint64_t n, bool last = false) { cell(out_, std::to_string(n), last, false); };
    cell(out_, p.path);
    cell(out_, i.reaperVersion);
    cell(out_, i.reaperPlatform);
    cell(out_, projectStatusWord(i.status));
    number(static_cast<std::uint64_t>(i.tracks));
    number(i.instances);
    number(i.plugins.size());
    number(std::uint64_t{i.missingToPlay} + i.missingToEdit);
    number(i.missingToPlay);
    number(i.missingToEdit);
    number(i.media);
    number(i.missingMedia);
    number(p.backups.size(), true);
    return out_.ok();
  }

  // One row per media file a project names, resolved, with whether it is
  // there and where a missing one's namesake is.
  bool mediaRows(const InventoryProject& p) {
    const std::string_view folder = FolderOfPathText(p.path);
    const bool replayed = p.inventory.forEachMedia([&](const MediaReference& m) {
      cell(out_, p.path);
      cell(out_, m.file);
      cell(out_, resolvedMediaText(folder, m.file));
      cell(out_, m.exists ? "yes" : "no");
      cell(out_, m.foundByName);
      cell(out_, std::to_string(m.uses), true, false);
    });
    if (!replayed) {
      setAsideFailure_ = p.inventory.failureReason();
      return false;
    }
    return out_.ok();
  }

  BufferedWriter out_;
  CsvTable table_;
  Text setAsideFailure_;  // a project's instances could not be read back
};

}  // namespace

std::unique_ptr<InventoryWriter> makeInventoryCsvWriter(ByteSink& sink, CsvTable table) {
  return std::make_unique<CsvWriter>(sink, table);
}
