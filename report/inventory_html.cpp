#include "report/inventory_output.h"

#include "core/media_paths.h"

#include <unordered_set>

namespace {

constexpr std::string_view kHead = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Plug-in and media inventory</title>
<style>
:root { --ink: #1d2330; --muted: #5b6475; --line: #d9dee7; --bg: #f6f7f9; --bad: #b3261e; --good: #1e6b35; --warn: #8a5a00; }
* { box-sizing: border-box; }
body { margin: 0; font: 14px/1.45 system-ui, -apple-system, "Segoe UI", Roboto, "DejaVu Sans", sans-serif; color: var(--ink); background: #fff; }
main { max-width: 1240px; margin: 0 auto; padding: 24px 20px 48px; }
h1 { font-size: 24px; margin: 0 0 4px; }
h2 { font-size: 18px; margin: 32px 0 10px; border-bottom: 2px solid var(--line); padding-bottom: 4px; }
h3 { font-size: 14px; margin: 14px 0 6px; }
.meta { color: var(--muted); margin: 0 0 18px; overflow-wrap: break-word; }
.summary { display: grid; grid-template-columns: repeat(auto-fit, minmax(170px, 1fr)); gap: 10px; }
.card { background: var(--bg); border: 1px solid var(--line); border-radius: 6px; padding: 10px 12px; }
.card b { display: block; font-size: 22px; }
.card span { color: var(--muted); font-size: 12px; text-transform: uppercase; letter-spacing: .04em; }
.card.alert b { color: var(--bad); }
table { width: 100%; border-collapse: collapse; }
th, td { text-align: left; padding: 5px 8px; border-bottom: 1px solid var(--line); vertical-align: top; overflow-wrap: break-word; }
th { background: var(--bg); font-weight: 600; white-space: nowrap; }
table[data-sorting] th.sortable { cursor: pointer; user-select: none; }
table[data-sorting] th.sortable::after { content: " \2195"; color: var(--muted); }
th[aria-sort="ascending"]::after { content: " \2191"; color: var(--ink); }
th[aria-sort="descending"]::after { content: " \2193"; color: var(--ink); }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
.status-installed { color: var(--good); }
.status-missing { color: var(--bad); font-weight: 600; }
.status-unknown { color: var(--muted); }
.no { color: var(--bad); font-weight: 600; }
.badge { display: inline-block; padding: 0 6px; border-radius: 8px; font-size: 12px; font-weight: 600; white-space: nowrap; }
.badge.complete { background: #e3f1e7; color: var(--good); }
.badge.plays { background: #fdf1dc; color: var(--warn); }
.badge.incomplete { background: #fbe4e2; color: var(--bad); }
.badge.unknown { background: var(--bg); color: var(--muted); }
.tools { display: flex; flex-wrap: wrap; gap: 6px 10px; align-items: center; margin: 0 0 8px; }
.tools input[type=search] { font: inherit; padding: 4px 8px; border: 1px solid var(--line); border-radius: 4px; width: 320px; max-width: 100%; }
.tools label { color: var(--muted); }
details { border: 1px solid var(--line); border-radius: 6px; margin: 8px 0; padding: 0 12px; }
details > summary { cursor: pointer; padding: 8px 0; font-weight: 600; overflow-wrap: break-word; }
details[open] > summary { border-bottom: 1px solid var(--line); margin-bottom: 6px; }
.small { color: var(--muted); font-weight: 400; }
.key { display: block; color: var(--muted); font-size: 12px; }
.key.warn { color: var(--warn); }
tr[data-uses] { cursor: pointer; }
tr[data-uses] > td:first-child::before { content: "\25B8\00A0"; color: var(--muted); }
tr[data-uses][aria-expanded="true"] > td:first-child::before { content: "\25BE\00A0"; }
tr.uses > td { background: var(--bg); }
tr.uses ul { margin: 4px 0; padding-left: 20px; }
code { font-family: ui-monospace, "DejaVu Sans Mono", monospace; font-size: 12px; }
.meta code ~ code { white-space: nowrap; }  /* a cache's name; the folder before them may break */
.filtered { display: none; }
/* A narrow window: each table row becomes a block, its first cell a heading
   line and the others flowing after it, a number with its column's name. */
@media (max-width: 720px) {
  main { padding: 16px 12px 32px; }
  .summary { grid-template-columns: repeat(auto-fit, minmax(130px, 1fr)); gap: 8px; }
  .card { padding: 8px 10px; }
  table, tbody, tr, td { display: block; }
  thead { display: block; }
  table:not(.sortable) thead { display: none; }
  thead tr { display: flex; flex-wrap: wrap; gap: 4px; padding-bottom: 6px; }
  th { border: 1px solid var(--line); border-radius: 4px; padding: 2px 6px; font-size: 12px; }
  th.n { text-align: left; }
  tbody tr { display: flex; flex-wrap: wrap; gap: 0 12px; padding: 6px 0; border-bottom: 1px solid var(--line); }
  tbody tr[hidden] { display: none; }
  td { border: none; padding: 0; min-width: 0; max-width: 100%; }
  td:first-child { flex: 1 0 100%; font-weight: 600; }
  td:empty { display: none; }
  td.n { text-align: left; }
  #plugins td:nth-child(6)::before { content: "projects "; }
  #plugins td:nth-child(7)::before { content: "instances "; }
  #projects td:nth-child(3)::before { content: "tracks "; }
  #projects td:nth-child(4)::before { content: "plug-ins "; }
  #projects td:nth-child(5)::before { content: "missing plug-ins "; }
  #projects td:nth-child(6)::before { content: "missing media "; }
  table.fx td:nth-child(7)::before { content: "preset "; }
  table.media td:nth-child(3)::before { content: "exists: "; }
  #missing-media td:nth-child(2):not(:empty)::before { content: "found by name: "; }
  #missing-media td:nth-child(3)::before { content: "named in: "; }
  tr.uses > td { font-weight: 400; }
  td::before, td .key { color: var(--muted); font-weight: 400; }
  details { padding: 0 8px; }
}
@media print {
  main { max-width: none; padding: 0; }
  .tools { display: none; }
  .filtered:not(:empty) { display: block; color: var(--muted); }
  table[data-sorting] th.sortable::after { content: none; }
  tr, details { break-inside: avoid; }
  details { border: none; padding: 0; }
  details > summary { list-style: none; cursor: auto; }
  details > summary::-webkit-details-marker { display: none; }
  details::details-content { content-visibility: visible; display: block; }
  a { color: inherit; text-decoration: none; }
}
</style>
</head>
<body>
<main>
<h1>Plug-in and media inventory</h1>
)";

constexpr std::string_view kScript = R"(<script>
(function () {
  function key(cell, numeric) {
    var v = cell.getAttribute("data-v");
    if (v === null) v = cell.textContent;
    return numeric ? parseFloat(v) || 0 : v.toLowerCase();
  }
  document.querySelectorAll("table.sortable").forEach(function (table) {
    table.setAttribute("data-sorting", "on");
    table.querySelectorAll("th.sortable").forEach(function (th) {
      th.addEventListener("click", function () {
        var column = th.cellIndex;
        var numeric = th.classList.contains("n");
        var ascending = th.getAttribute("aria-sort") !== "ascending";
        table.querySelectorAll("th").forEach(function (h) { h.removeAttribute("aria-sort"); });
        th.setAttribute("aria-sort", ascending ? "ascending" : "descending");
        var body = table.tBodies[0];
        var rows = Array.prototype.slice.call(body.rows).filter(function (r) { return !r.classList.contains("uses"); });
        rows.sort(function (a, b) {
          var x = key(a.cells[column], numeric), y = key(b.cells[column], numeric);
          return (x < y ? -1 : x > y ? 1 : 0) * (ascending ? 1 : -1);
        });
        rows.forEach(function (r) {
          body.appendChild(r);
          if (r.usesRow) body.appendChild(r.usesRow);
        });
      });
    });
  });
  document.querySelectorAll("input[data-filter]").forEach(function (input) {
    var table = document.getElementById(input.getAttribute("data-filter"));
    var missing = document.querySelector("input[data-missing='" + table.id + "']");
    var note = document.createElement("p");
    note.className = "filtered";
    table.parentNode.insertBefore(note, table);
    function apply() {
      var shown = 0, rows = 0;
      var words = input.value.toLowerCase().split(/\s+/).filter(Boolean);
      Array.prototype.forEach.call(table.tBodies[0].rows, function (row) {
        if (row.classList.contains("uses")) return;
        var text = (row.textContent + " " + (row.getAttribute("data-find") || "")).toLowerCase();
        var show = words.every(function (w) { return text.indexOf(w) >= 0; });
        if (missing && missing.checked) show = show && row.getAttribute("data-missing") === "1";
        row.hidden = !show;
        ++rows;
        if (show) ++shown;
        if (row.usesRow) row.usesRow.hidden = !show || row.getAttribute("aria-expanded") !== "true";
      });
      // The controls are not printed; what they left out is said instead.
      var said = [];
      if (words.length) said.push("matching \u201C" + input.value.trim() + "\u201D");
      if (missing && missing.checked) said.push("missing only");
      note.textContent = said.length ? "Shown: " + shown + " of " + rows + " rows, " +
                                       said.join(", ") + "." : "";
    }
    input.addEventListener("input", apply);
    if (missing) missing.addEventListener("change", apply);
  });
  // A plug-in row opens to the projects that use it.
  document.querySelectorAll("tr[data-uses]").forEach(function (row) {
    row.usesRow = row.nextElementSibling;
    row.addEventListener("click", function (event) {
      if (event.target.closest("a")) return;
      var open = row.getAttribute("aria-expanded") !== "true";
      row.setAttribute("aria-expanded", open ? "true" : "false");
      row.usesRow.hidden = !open;
    });
  });
  // A link to a project's box opens it.
  function openBox(id) {
    var box = id && document.getElementById(id);
    if (box && box.tagName === "DETAILS") box.open = true;
  }
  document.addEventListener("click", function (event) {
    var link = event.target.closest && event.target.closest("a[href^='#p']");
    if (link) openBox(link.getAttribute("href").slice(1));
  });
  window.addEventListener("hashchange", function () { openBox(location.hash.slice(1)); });
  openBox(location.hash.slice(1));
  // Printed, every project is open; afterwards each is as it was.
  var closed = [];
  window.addEventListener("beforeprint", function () {
    closed = Array.prototype.filter.call(document.querySelectorAll("details"), function (d) { return !d.open; });
    closed.forEach(function (d) { d.open = true; });
  });
  window.addEventListener("afterprint", function () {
    closed.forEach(function (d) { d.open = false; });
    closed = [];
  });
})();
</script>
)";

// Text as HTML: & < > " ' escaped, a lone surrogate as U+FFFD. A long
// text goes out in pieces, never copied whole.
void escaped(BufferedWriter& out, std::string_view text) {
  std::string scratch;
  text = replaceLoneSurrogates(text, scratch);
  std::string& escaped = out.buffer();
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped.push_back(c);
    }
    out.flushIfFull();
  }
}

// A path as HTML. A long one gets a line-break opportunity after each
// separator, so that a narrow column or window breaks it between folders,
// never inside a name; a short one fits any column as it is.
void escapedPath(BufferedWriter& out, std::string_view path) {
  constexpr std::size_t kUnbroken = 40;
  if (path.size() <= kUnbroken) return escaped(out, path);
  std::size_t start = 0;
  for (std::size_t k = 0; k + 1 < path.size(); ++k) {
    if (path[k] == '/' || path[k] == '\\') {
      escaped(out, path.substr(start, k + 1 - start));
      out << "<wbr>";
      start = k + 1;
    }
  }
  escaped(out, path.substr(start));
}

void pathCell(BufferedWriter& out, std::string_view path) {
  out << "<td>";
  escapedPath(out, path);
  out << "</td>";
}

void cell(BufferedWriter& out, std::string_view text) {
  out << "<td>";
  escaped(out, text);
  out << "</td>";
}

void numberCell(BufferedWriter& out, std::uint64_t n, bool alert = false) {
  out << (alert && n > 0 ? "<td class=\"n no\">" : "<td class=\"n\">") << n << "</td>";
}

void statusCell(BufferedWriter& out, InstallStatus status) {
  out << "<td class=\"status-" << statusWord(status) << "\">" << statusWord(status) << "</td>";
}

void card(BufferedWriter& out, std::string_view label, std::uint64_t n, bool alert) {
  out << (alert && n > 0 ? "<div class=\"card alert\"><b>" : "<div class=\"card\"><b>") << n << "</b><span>" << label
      << "</span></div>\n";
}

std::string_view kind(bool instrument) { return instrument ? "instrument" : "effect"; }

// Where an instance sits, in words, as a cell; the names are written as
// they are, not gathered into one text first.
void whereCell(BufferedWriter& out, const PluginInstance& i) {
  const std::string track = "track " + std::to_string(i.track);
  out << "<td>";
  switch (i.location) {
    case FxLocation::Master: out << "master"; break;
    case FxLocation::Track: out << track; break;
    case FxLocation::TrackInput: out << track << " input"; break;
    case FxLocation::Take: out << track << " take"; break;
  }
  auto quoted = [&](std::string_view before, std::string_view name) {
    out << before << "\xE2\x80\x9C";
    escaped(out, name);
    out << "\xE2\x80\x9D";
  };
  if (i.location != FxLocation::Master && !i.trackName.empty()) quoted(" ", i.trackName);
  if (i.location == FxLocation::Take && !i.item.empty()) quoted(", item ", i.item);
  if (!i.container.empty()) quoted(", in container ", i.container);
  out << "</td>";
}

// A plug-in's status, with where a missing one is installed in another
// format ("VST3 installed") and what the check noticed.
void pluginStatusCell(BufferedWriter& out, const ArchivePlugin& p) {
  out << "<td class=\"status-" << statusWord(p.status) << "\">" << statusWord(p.status);
  for (const InstalledPlugin& other : p.installedAs) {
    out << "<span class=\"key\">" << formatWord(other.format) << " installed";
    if (!other.file.empty()) {
      out << " (";
      escaped(out, other.file);
      out << ")";
    }
    out << "</span>";
  }
  if (!p.warning.empty()) {
    out << "<span class=\"key warn\">";
    escaped(out, p.warning);
    out << "</span>";
  }
  out << "</td>";
}

// Where a plug-in sits in one project: "master, tracks 1, 3".
void tracksText(BufferedWriter& out, const std::vector<std::int32_t>& tracks) {
  const bool master = !tracks.empty() && tracks.front() == 0;
  if (master) out << "master";
  const std::size_t numbered = tracks.size() - (master ? 1 : 0);
  if (numbered == 0) return;
  out << (master ? ", " : "") << (numbered == 1 ? "track " : "tracks ");
  for (std::size_t k = master ? 1 : 0; k < tracks.size(); ++k)
    out << (k > (master ? 1u : 0u) ? ", " : "") << static_cast<std::uint64_t>(tracks[k]);
}

// The row a plug-in's row opens to: each project that uses it, a link to
// its box, with its instances and tracks.
void pluginUsesRow(BufferedWriter& out, const ArchiveTotals& totals, std::size_t index) {
  out << "<tr class=\"uses\" hidden><td colspan=\"7\"><ul>\n";
  for (const PluginUse& use : totals.usedBy(index)) {
    out << "<li><a href=\"#p" << std::uint64_t{use.project} + 1 << "\">";
    escaped(out, totals.projectPath(use.project));
    out << "</a> <span class=\"small\">" << std::uint64_t{use.instances}
        << (use.instances == 1 ? " instance: " : " instances: ");
    tracksText(out, totals.tracksOf(use));
    out << "</span></li>\n";
  }
  out << "</ul></td></tr>\n";
}

// A project's status as a badge; sorted with the problems first.
void badge(BufferedWriter& out, ProjectStatus status) {
  out << "<span class=\"badge " << projectStatusWord(status) << "\">" << projectStatusWord(status) << "</span>";
}

void statusBadgeCell(BufferedWriter& out, ProjectStatus status) {
  static constexpr char kRank[] = {'3', '2', '0', '1'};  // complete, plays, incomplete, unknown
  out << "<td data-v=\"" << std::string_view(&kRank[static_cast<int>(status)], 1) << "\">";
  badge(out, status);
  out << "</td>";
}

void foundByName(BufferedWriter& out, std::string_view found) {
  if (found.empty()) return;
  out << "<span class=\"key\">a file of this name: <code>";
  escapedPath(out, found);
  out << "</code></span>";
}

// The backups of a project, each with its status.
void backupsList(BufferedWriter& out, const std::vector<InventoryBackup>& backups) {
  if (backups.empty()) return;
  out << "<p class=\"small\">Backups: ";
  for (std::size_t k = 0; k < backups.size(); ++k) {
    out << (k == 0 ? "<code>" : ", <code>");
    escapedPath(out, backups[k].path);
    out << "</code> ";
    badge(out, backups[k].status);
  }
  out << "</p>\n";
}

// How many projects open here, and how many do not.
void statusCards(BufferedWriter& out, const ArchiveTotals& totals) {
  out << "<div class=\"card\"><b>" << totals.projectsWith(ProjectStatus::Complete) << " of " << totals.projects()
      << "</b><span>projects complete</span></div>\n";
  card(out, "projects incomplete", totals.projectsWith(ProjectStatus::Incomplete), true);
  card(out, "projects that play", totals.projectsWith(ProjectStatus::Plays),
       false);
  card(out, "projects of unknown status", totals.projectsWith(ProjectStatus::Unknown), false);
}

// The project table's rows and the projects' sections come after the
// summary and the plug-in table, so both are set aside while the projects
// come.
class HtmlWriter : public InventoryWriter {
 public:
  HtmlWriter(std::optional<std::string> resources, ByteSink& sink, InventoryStamp stamp)
      : resources_(std::move(resources)), sink_(sink), stamp_(std::move(stamp)) {}

  bool open(TextView scratchFolder) override { return rows_.open(scratchFolder) && sections_.open(scratchFolder); }
  bool addProject(const InventoryProject& project) override;
  bool finish(const ArchiveTotals& totals) override;
  bool missingMediaSection(BufferedWriter& out, const ArchiveTotals& totals) const;
  Text failureReason() const override {
    if (!rows_.failureReason().empty()) return rows_.failureReason();
    return sections_.failureReason().empty() ? setAsideFailure_ : sections_.failureReason();
  }

 private:
  std::optional<std::string> resources_;
  ByteSink& sink_;
  InventoryStamp stamp_;
  SetAside rows_, sections_;
  std::uint64_t number_ = 0;
  Text setAsideFailure_;  // what was set aside (instances, missing media) could not be read back
};

bool HtmlWriter::addProject(const InventoryProject& project) {
  ProjectInventory& p = project.inventory;
  ++number_;
  BufferedWriter& row = rows_.out();
  row << "<tr";
  // The filter finds a project by the plug-ins it uses too.
  if (!p.plugins.empty()) {
    row << " data-find=\"";
    std::unordered_set<std::string_view> named;
    for (const ProjectPlugin& used : p.plugins) {
      const std::string_view name = used.first.name.empty() ? used.first.display : used.first.name;
      if (!named.insert(name).second) continue;
      escaped(row, name);
      row << " ";
    }
    row << "\"";
  }
  if (p.status != ProjectStatus::Complete) row << " data-missing=\"1\"";
  row << "><td><a href=\"#p" << number_ << "\">";
  escapedPath(row, project.path);
  row << "</a></td><td>";
  escaped(row, p.reaperVersion);
  if (!p.reaperPlatform.empty()) {
    row << " <span class=\"small\">";
    escaped(row, p.reaperPlatform);
    row << "</span>";
  }
  row << "</td>";
  numberCell(row, static_cast<std::uint64_t>(p.tracks));
  numberCell(row, p.instances);
  numberCell(row, p.missingPlugins, true);
  numberCell(row, p.missingMedia, true);
  statusBadgeCell(row, p.status);
  row << "</tr>\n";

  BufferedWriter& out = sections_.out();
  out << "<details id=\"p" << number_ << "\"><summary>";
  escapedPath(out, project.path);
  out << " ";
  badge(out, p.status);
  out << " <span class=\"small\">(" << p.instances << (p.instances == 1 ? " instance, " : " instances, ") << p.media
      << (p.media == 1 ? " media file)" : " media files)") << "</span></summary>\n";
  if (!project.alsoAt.empty()) {
    out << "<p class=\"small\">The same file is also reached as ";
    for (std::size_t k = 0; k < project.alsoAt.size(); ++k) {
      out << (k == 0 ? "<code>" : ", <code>");
      escapedPath(out, project.alsoAt[k]);
      out << "</code>";
    }
    out << ".</p>\n";
  }
  backupsList(out, project.backups);
  if (p.instances > 0) {
    out << "<h3>Plug-ins</h3>\n<table class=\"fx\"><thead><tr><th>Where</th><th>Name</th><th>Vendor</th><th>Format</th>"
           "<th>Kind</th><th>State</th><th>Preset</th><th>Status</th></tr></thead>\n<tbody>\n";
  }
  std::uint64_t seen = 0;
  const std::string_view folder = FolderOfPathText(project.path);
  const bool replayed = p.forEach(
      [&](const PluginInstance& i) {
        out << "<tr>";
        whereCell(out, i);
        out << "<td title=\"";
        escaped(out, i.display);
        out << "\">";
        escaped(out, i.name.empty() ? i.display : i.name);
        out << "</td>";
        cell(out, i.vendor);
        cell(out, formatWord(i.format));
        cell(out, kind(i.instrument));
        cell(out, stateWord(i.state));
        cell(out, i.preset);
        statusCell(out, i.status);
        out << "</tr>\n";
      },
      [&](const MediaReference& m) {
        if (seen++ == 0) {
          if (p.instances > 0) out << "</tbody></table>\n";
          out << "<h3>Media</h3>\n<table class=\"media\"><thead><tr><th>File</th><th>Resolved</th><th>Exists</th></tr></thead>\n"
                 "<tbody>\n";
        }
        out << "<tr>";
        pathCell(out, m.file);
        pathCell(out, resolvedMediaText(folder, m.file));
        if (m.exists) {
          out << "<td class=\"status-installed\">yes</td>";
        } else {
          out << "<td><span class=\"no\">no</span>";
          foundByName(out, m.foundByName);
          out << "</td>";
        }
        out << "</tr>\n";
      });
  if (!replayed) {
    setAsideFailure_ = p.failureReason();
    return false;
  }
  if (p.instances > 0 || seen > 0) out << "</tbody></table>\n";
  out << "</details>\n";
  return !rows_.failed() && !sections_.failed();
}

// Every missing media file of the archive, with the projects that name it
// (links to their boxes) and where a file of its name is.
bool HtmlWriter::missingMediaSection(BufferedWriter& out, const ArchiveTotals& totals) const {
  out << "<h2>Missing media</h2>\n";
  if (!totals.hasMissingMedia()) {
    out << "<p>Every media file is where its projects say.</p>\n";
    return true;
  }
  out << "<table id=\"missing-media\"><thead><tr><th>File</th><th>Found by name</th><th>Projects</th></tr></thead>\n"
         "<tbody>\n";
  const bool read = totals.forEachMissingMedia([&](const ArchiveTotals::MissingMedia& m) {
    out << "<tr>";
    pathCell(out, m.file);
    out << "<td>";
    if (!m.foundByName.empty()) {
      out << "<code>";
      escapedPath(out, m.foundByName);
      out << "</code>";
    }
    out << "</td><td>";
    for (std::size_t k = 0; k < m.projects.size(); ++k) {
      const std::uint32_t project = m.projects[k];
      out << (k == 0 ? "" : "<br>");
      out << "<a href=\"#p" << std::uint64_t{project} + 1 << "\">";
      escapedPath(out, totals.projectPath(project));
      out << "</a>";
    }
    out << "</td></tr>\n";
    out.flushIfFull();
  });
  out << "</tbody></table>\n";
  return read;
}

bool HtmlWriter::finish(const ArchiveTotals& totals) {
  // Nothing reaches the output unless every part set aside is complete: a
  // pipe cannot take back what it was given.
  const bool settled = rows_.settle() & sections_.settle();
  if (!settled || !setAsideFailure_.empty()) return false;
  if (!totals.failureReason().empty()) {
    setAsideFailure_ = totals.failureReason();
    return false;
  }
  BufferedWriter out(sink_);
  out << kHead << "<p class=\"meta\">";
  if (!stamp_.generated.empty()) {
    out << "Made ";
    escaped(out, stamp_.generated);
    out << " by quorvel-inventory ";
    escaped(out, stamp_.version);
    out << ". ";
  }
  if (resources_) {
    out << "Installed plug-ins checked against the REAPER resource folder <code>";
    escapedPath(out, *resources_);
    out << "</code>:";
    // Each cache by name, with what it gave or why it could not be used.
    bool first = true;
    for (const CacheFile& c : totals.caches()) {
      const std::string path = PathText(c.path);
      out << (first ? " <code>" : ", <code>");
      first = false;
      escaped(out, std::string_view(path).substr(FolderOfPathText(path).size()));
      out << "</code> ";
      if (c.problem.empty()) {
        out << "(" << c.entries << (c.entries == 1 ? " entry)" : " entries)");
      } else {
        out << "<span class=\"no\">(";
        escaped(out, c.problem);
        out << ")</span>";
      }
    }
    out << (first ? " no plug-in caches." : ".");
  } else {
    out << "Installed plug-ins were not checked: every status is &ldquo;unknown&rdquo;.";
  }
  out << "</p>\n<section class=\"summary\">\n";
  card(out, "projects", totals.projects(), false);
  card(out, "distinct plug-ins", totals.plugins().size(), false);
  card(out, "instances", totals.instances(), false);
  if (resources_) card(out, "missing plug-ins", totals.missingPlugins(), true);
  else out << "<div class=\"card\"><b>not checked</b><span>missing plug-ins</span></div>\n";
  if (totals.unknownPlugins() > 0) card(out, "unknown plug-ins", totals.unknownPlugins(), false);
  card(out, "missing media", totals.missingMedia(), true);
  card(out, "errors", totals.errors().size(), true);
  statusCards(out, totals);
  out << "</section>\n";

  out << "<h2>Plug-ins</h2>\n<div class=\"tools\"><input type=\"search\" placeholder=\"Filter plug-ins\" "
         "data-filter=\"plugins\" aria-label=\"Filter plug-ins\"><label><input type=\"checkbox\" "
         "data-missing=\"plugins\"> missing only</label></div>\n"
         "<table id=\"plugins\" class=\"sortable\">\n<thead><tr><th class=\"sortable\">Name</th>"
         "<th class=\"sortable\">Vendor</th><th class=\"sortable\">Format</th><th class=\"sortable\">Kind</th>"
         "<th class=\"sortable\">Status</th><th class=\"sortable n\">Projects</th><th class=\"sortable n\">Instances</th>"
         "</tr></thead>\n<tbody>\n";
  for (std::size_t index = 0; index < totals.plugins().size(); ++index) {
    const ArchivePlugin& p = totals.plugins()[index];
    out << "<tr data-uses=\"" << std::uint64_t{p.projects} << "\" aria-expanded=\"false\""
        << (p.status == InstallStatus::Missing ? " data-missing=\"1\">" : ">");
    out << "<td title=\"";
    escaped(out, p.display);
    out << "\">";
    escaped(out, p.name.empty() ? p.display : p.name);
    // What tells this plug-in from another of the same name: its files, or ids.
    const std::vector<std::string>& keys = p.files.empty() ? p.ids : p.files;
    if (!keys.empty()) {
      out << "<span class=\"key\">";
      for (std::size_t k = 0; k < keys.size(); ++k) {
        if (k > 0) out << ", ";
        escaped(out, keys[k]);
      }
      out << "</span>";
    }
    out << "</td>";
    cell(out, p.vendor);
    cell(out, formatWord(p.format));
    cell(out, kind(p.instrument));
    pluginStatusCell(out, p);
    numberCell(out, p.projects);
    numberCell(out, p.instances);
    out << "</tr>\n";
    pluginUsesRow(out, totals, index);
  }
  out << "</tbody>\n</table>\n";

  out << "<h2>Projects</h2>\n<div class=\"tools\"><input type=\"search\" placeholder=\"Filter projects\" "
         "data-filter=\"projects\" aria-label=\"Filter projects\"><label><input type=\"checkbox\" "
         "data-missing=\"projects\"> problems only</label></div>\n"
         "<table id=\"projects\" class=\"sortable\">\n<thead><tr><th class=\"sortable\">Path</th>"
         "<th class=\"sortable\">Version</th><th class=\"sortable n\">Tracks</th><th class=\"sortable n\">Instances</th>"
         "<th class=\"sortable n\">Missing plug-ins</th><th class=\"sortable n\">Missing media</th>"
         "<th class=\"sortable\">Status</th></tr></thead>\n<tbody>\n";
  if (!out.flush() || !rows_.copyTo(sink_)) return false;
  out << "</tbody>\n</table>\n";
  if (!out.flush() || !sections_.copyTo(sink_)) return false;
  if (!missingMediaSection(out, totals)) {
    setAsideFailure_ = totals.failureReason();
    return false;
  }

  out << "<h2>Errors</h2>\n";
  if (totals.errors().empty()) {
    out << "<p>Every project was read.</p>\n";
  } else {
    out << "<table id=\"errors\"><thead><tr><th>Path</th><th>Message</th></tr></thead>\n<tbody>\n";
    for (const ArchiveTotals::Error& e : totals.errors()) {
      out << "<tr>";
      pathCell(out, e.path);
      cell(out, e.message);
      out << "</tr>\n";
    }
    out << "</tbody></table>\n";
  }
  out << "</main>\n" << kScript << "</body>\n</html>\n";
  return out.flush();
}

}  // namespace

std::unique_ptr<InventoryWriter> makeInventoryHtmlWriter(std::optional<std::string> resources, ByteSink& sink,
                                                         InventoryStamp stamp) {
  return std::make_unique<HtmlWriter>(std::move(resources), sink, std::move(stamp));
}
