#include "report/inventory_output.h"

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

class CsvWriter : public InventoryWriter {
 public:
  explicit CsvWriter(ByteSink& sink) : out_(sink) {}

  bool open(TextView) override {
    out_ << "project,location,track,track name,item,format,kind,name,vendor,file,id,state,preset,status\r\n";
    return out_.ok();
  }

  bool addProject(const InventoryProject& p) override {
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
      cell(out_, statusWord(i.status), true);
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
  BufferedWriter out_;
  Text setAsideFailure_;  // a project's instances could not be read back
};

}  // namespace

std::unique_ptr<InventoryWriter> makeInventoryCsvWriter(ByteSink& sink) { return std::make_unique<CsvWriter>(sink); }
