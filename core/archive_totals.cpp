#include "core/archive_totals.h"

#include <algorithm>

void ArchiveTotals::addProject(const ProjectInventory& project) {
  ++projects_;
  instances_ += project.instances;
  missingMedia_ += project.missingMedia;
  // Plug-ins by identity: format, file and id, or format and label when the
  // project names neither. The first instance met (in path order) names it;
  // a project's plug-ins come in the order of their first instances.
  std::string key;
  for (const ProjectPlugin& used : project.plugins) {
    const PluginInstance& i = used.first;
    key.assign(1, static_cast<char>(i.format));
    if (!i.file.empty() || !i.id.empty()) {
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
      plugins_.push_back({i.format, i.instrument, i.status, i.display, i.name, i.vendor, i.file, i.id, 0, 0});
      lastProject_.push_back(0);
    }
    ArchivePlugin& plugin = plugins_[it->second];
    plugin.instances += used.instances;
    if (lastProject_[it->second] != projects_) {
      lastProject_[it->second] = projects_;
      ++plugin.projects;
    }
  }
}

void ArchiveTotals::addError(std::string_view path, std::string_view message) {
  errors_.push_back({std::string(path), std::string(message)});
}

void ArchiveTotals::finish() {
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
  std::sort(plugins_.begin(), plugins_.end(), [&](const ArchivePlugin& a, const ArchivePlugin& b) {
    const std::string la = lower(a.name), lb = lower(b.name);
    if (la != lb) return la < lb;
    if (a.name != b.name) return a.name < b.name;
    if (a.format != b.format) return a.format < b.format;
    if (a.file != b.file) return a.file < b.file;
    if (a.id != b.id) return a.id < b.id;
    return a.display < b.display;
  });
}

std::uint64_t ArchiveTotals::missingPlugins() const {
  std::uint64_t n = 0;
  for (const ArchivePlugin& p : plugins_) n += p.status == InstallStatus::Missing;
  return n;
}
