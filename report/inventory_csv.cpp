#include "report/inventory_output.h"

namespace {

// One RFC 4180 field: quoted when it holds a comma, a quote, CR or LF.
void Cell(SinkWriter& out, std::string_view value, bool last = false) {
  std::string scratch;
  value = replaceLoneSurrogates(value, scratch);
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

}  // namespace

bool writeInventoryCsv(const ArchiveInventory& inv, const ByteSink& sink) {
  SinkWriter out(sink);
  out << "project,location,track,track name,item,format,kind,name,vendor,file,id,state,preset,status\r\n";
  for (const ArchiveInventory::Project& p : inv.projects()) {
    for (const ArchiveInventory::Instance& i : inv.instances(p)) {
      Cell(out, inv.text(p.path));
      Cell(out, locationWord(i.location));
      Cell(out, i.location == FxLocation::Master ? std::string() : std::to_string(i.track));
      Cell(out, inv.text(i.trackName));
      Cell(out, inv.text(i.item));
      Cell(out, formatWord(i.format));
      Cell(out, i.instrument ? "instrument" : "effect");
      Cell(out, inv.text(i.name));
      Cell(out, inv.text(i.vendor));
      Cell(out, inv.text(i.file));
      Cell(out, inv.text(i.id));
      Cell(out, stateWord(i.state));
      Cell(out, inv.text(i.preset));
      Cell(out, statusWord(i.status), true);
    }
  }
  return out.flush();
}
