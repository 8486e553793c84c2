#include "report/inventory_output.h"

namespace {

// Whether a spreadsheet would read a text starting so as a formula.
bool looksLikeFormula(std::string_view text) {
  return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
}

// One RFC 4180 field: quoted when it holds a comma, a quote, CR or LF. A
// text that a spreadsheet would run as a formula gets a "'" in front; a
// number (`text` false) is written as it is.
void cell(SinkWriter& out, std::string_view value, bool last = false, bool text = true) {
  std::string scratch, guarded;
  value = replaceLoneSurrogates(value, scratch);
  if (text && looksLikeFormula(value)) {
    guarded.assign(1, '\'');
    guarded.append(value);
    value = guarded;
  }
  if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
    out << value;
  } else {
    std::string quoted = "\"";
    for (char c : value) {
      if (c == '"') quoted.push_back('"');
      quoted.push_back(c);
    }
    quoted.push_back('"');
    out << quoted;
  }
  out << (last ? "\r\n" : ",");
}

class CsvWriter : public InventoryWriter {
 public:
  explicit CsvWriter(const ByteSink& sink) : out_(sink) {}

  bool open(TextView) override {
    out_ << "project,location,track,track name,item,format,kind,name,vendor,file,id,state,preset,status\r\n";
    return out_.ok();
  }

  bool addProject(const InventoryProject& p) override {
    for (const PluginInstance& i : p.inventory.plugins) {
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
    }
    return out_.ok();
  }

  bool finish(const ArchiveTotals&) override { return out_.flush(); }
  Text failureReason() const override { return {}; }

 private:
  SinkWriter out_;
};

}  // namespace

std::unique_ptr<InventoryWriter> makeInventoryCsvWriter(const ByteSink& sink) { return std::make_unique<CsvWriter>(sink); }
