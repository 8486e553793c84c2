#include "core/archive_totals.h"

#include "core/media_paths.h"
#include "runtime/leb128.h"
#include "runtime/path_text.h"

#include <algorithm>
#include <new>

namespace {

// Installed beats unknown beats missing: a plug-in one of whose binaries is
// installed is there.
int rank(InstallStatus s) {
  switch (s) {
    case InstallStatus::Installed: return 2;
    case InstallStatus::Unknown: return 1;
    case InstallStatus::Missing: return 0;
  }
  return 0;
}

void addDistinct(std::vector<std::string>& to, const std::string& value) {
  if (!value.empty() && std::find(to.begin(), to.end(), value) == to.end()) to.push_back(value);
}

}  // namespace

void ArchiveTotals::addProject(const ProjectInventory& project, std::string_view path) {
  const auto number = static_cast<std::uint32_t>(projects_);
  ++projects_;
  paths_.push_back(path);
  instances_ += project.instances;
  missingMedia_ += project.missingMedia;
  ++byStatus_[static_cast<int>(project.status)];
  // Its missing media files join the archive's list. What could not be read
  // back shows when the project itself is written.
  if (project.missingMedia > 0) {
    const std::string_view folder = FolderOfPathText(path);
    project.forEachMedia([&](const MediaReference& m) {
      if (!m.exists) missing_->add(resolvedMediaText(folder, m.file), number, m.foundByName);
    });
  }
  // Plug-ins by identity (see the header). The first instance met (in path
  // order) names it; a project's plug-ins come in the order of their first
  // instances. Two binaries of one plug-in in one project make one use.
  std::string key;
  const std::size_t firstOfProject = uses_.size();
  for (const ProjectPlugin& used : project.plugins) {
    const PluginInstance& i = used.first;
    key.assign(1, static_cast<char>(i.format));
    if (i.format == FxFormat::Js) {
      key.push_back('j');
      key += i.file;
    } else if (!i.name.empty()) {
      key.push_back('n');
      key += i.name;
      key.push_back('\0');
      key += i.vendor;
    } else if (!i.file.empty() || !i.id.empty()) {
      key.push_back('f');
      key += i.file;
      key.push_back('\0');
      key += i.id;
    } else {
      key.push_back('d');
      key += i.display;
    }
    auto [it, added] = byIdentity_.try_emplace(key, plugins_.size());
    if (added) {
      if (plugins_.size() >= PluginUse::kTrackList) throw std::bad_alloc();
      plugins_.push_back({i.format, i.instrument, i.status, i.display, i.name, i.vendor, i.file, i.id, 0, 0, {}, {}, {}, {}});
      lastProject_.push_back(0);
    }
    const auto row = static_cast<std::uint32_t>(it->second);
    ArchivePlugin& plugin = plugins_[row];
    if (rank(i.status) > rank(plugin.status)) plugin.status = i.status;
    addDistinct(plugin.files, i.file);
    addDistinct(plugin.ids, i.id);
    plugin.instances += used.instances;
    if (lastProject_[row] != projects_) {
      lastProject_[row] = projects_;
      ++plugin.projects;
      uses_.push_back({row, number, used.instances, 0});
      setTracks(uses_.back(), used.tracks);
      continue;
    }
    // Another binary of a plug-in this project uses already: one use.
    for (std::size_t k = firstOfProject; k < uses_.size(); ++k) {
      if (uses_[k].plugin != row) continue;
      uses_[k].instances += used.instances;
      std::vector<std::int32_t> both = tracksOf(uses_[k]);
      both.insert(both.end(), used.tracks.begin(), used.tracks.end());
      std::sort(both.begin(), both.end());
      both.erase(std::unique(both.begin(), both.end()), both.end());
      setTracks(uses_[k], both);
      break;
    }
  }
}

// A use's tracks: a single one in place, else a list.
void ArchiveTotals::setTracks(PluginUse& use, const std::vector<std::int32_t>& tracks) {
  if (tracks.size() == 1) {
    use.tracks = static_cast<std::uint32_t>(tracks[0]);
    return;
  }
  if (trackLists_.size() >= PluginUse::kTrackList) throw std::bad_alloc();
  use.tracks = PluginUse::kTrackList | static_cast<std::uint32_t>(trackLists_.size());
  AppendLeb128(trackLists_, tracks.size());
  std::int32_t last = 0;
  for (std::int32_t t : tracks) {
    AppendLeb128(trackLists_, static_cast<std::uint64_t>(t - last));
    last = t;
  }
}

std::vector<std::int32_t> ArchiveTotals::tracksOf(const PluginUse& use) const {
  if ((use.tracks & PluginUse::kTrackList) == 0) return {static_cast<std::int32_t>(use.tracks)};
  std::size_t at = use.tracks & ~PluginUse::kTrackList;
  const std::uint64_t count = ReadLeb128(trackLists_, at);
  std::vector<std::int32_t> out;
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, 1u << 16)));
  std::int64_t track = 0;
  for (std::uint64_t k = 0; k < count && at < trackLists_.size(); ++k) {
    track += static_cast<std::int64_t>(ReadLeb128(trackLists_, at));
    out.push_back(static_cast<std::int32_t>(track));
  }
  return out;
}

ArchiveTotals::Uses ArchiveTotals::usedBy(std::size_t plugin) const {
  if (plugin + 1 >= firstUse_.size()) return {uses_.end(), uses_.end()};
  const auto from = uses_.begin() + static_cast<std::ptrdiff_t>(firstUse_[plugin]);
  return {from, from + static_cast<std::ptrdiff_t>(firstUse_[plugin + 1] - firstUse_[plugin])};
}

void ArchiveTotals::addError(std::string_view path, std::string_view message) {
  errors_.push_back({std::string(path), std::string(message)});
}

void ArchiveTotals::finish(const PluginCaches* caches) {
  byIdentity_.clear();
  lastProject_.clear();
  std::stable_sort(errors_.begin(), errors_.end(), [](const Error& a, const Error& b) {
    return a.path != b.path ? a.path < b.path : a.message < b.message;
  });
  auto lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
  };
  for (ArchivePlugin& p : plugins_) {
    std::sort(p.files.begin(), p.files.end());
    std::sort(p.ids.begin(), p.ids.end());
  }
  // The plug-ins sorted, through their numbers so that the uses follow.
  std::vector<std::uint32_t> order(plugins_.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = static_cast<std::uint32_t>(k);
  std::sort(order.begin(), order.end(), [&](std::uint32_t x, std::uint32_t y) {
    const ArchivePlugin& a = plugins_[x];
    const ArchivePlugin& b = plugins_[y];
    const std::string la = lower(a.name), lb = lower(b.name);
    if (la != lb) return la < lb;
    if (a.name != b.name) return a.name < b.name;
    if (a.format != b.format) return a.format < b.format;
    if (a.vendor != b.vendor) return a.vendor < b.vendor;
    if (a.file != b.file) return a.file < b.file;
    if (a.id != b.id) return a.id < b.id;
    return a.display < b.display;
  });
  std::vector<std::uint32_t> position(order.size());
  std::vector<ArchivePlugin> sorted;
  sorted.reserve(plugins_.size());
  for (std::size_t k = 0; k < order.size(); ++k) {
    position[order[k]] = static_cast<std::uint32_t>(k);
    sorted.push_back(std::move(plugins_[order[k]]));
  }
  plugins_.swap(sorted);
  for (PluginUse& use : uses_) use.plugin = position[use.plugin];
  std::sort(uses_.begin(), uses_.end(), [](const PluginUse& a, const PluginUse& b) {
    return a.plugin != b.plugin ? a.plugin < b.plugin : a.project < b.project;
  });
  firstUse_.assign(plugins_.size() + 1, uses_.size());
  for (std::size_t k = uses_.size(); k-- > 0;) firstUse_[uses_[k].plugin] = k;
  for (std::size_t k = plugins_.size(); k-- > 0;) firstUse_[k] = std::min(firstUse_[k], firstUse_[k + 1]);
  if (caches != nullptr) {
    for (ArchivePlugin& p : plugins_) {
      if (p.status == InstallStatus::Missing) p.installedAs = caches->installedAs(p.name, p.vendor, p.format);
      if (p.status == InstallStatus::Installed) p.warning = caches->idWarning(p.format, p.files, p.ids);
    }
  }
}

std::uint64_t ArchiveTotals::missingPlugins() const {
  std::uint64_t n = 0;
  for (const ArchivePlugin& p : plugins_) n += p.status == InstallStatus::Missing;
  return n;
}

std::uint64_t ArchiveTotals::unknownPlugins() const {
  std::uint64_t n = 0;
  for (const ArchivePlugin& p : plugins_) n += p.status == InstallStatus::Unknown;
  return n;
}
