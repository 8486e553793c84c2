#include "core/archive_totals.h"

#include "core/media_paths.h"
#include "runtime/path_text.h"

#include <algorithm>

void ArchiveTotals::addProject(const ProjectInventory& project, std::string_view path) {
  ++projects_;
  instances_ += project.instances;
  missingMedia_ += project.missingMedia;
  ++byStatus_[static_cast<int>(project.status)];
  // Its missing media files join the archive's list, once each.
  if (!project.missingFiles.empty()) {
    const auto number = static_cast<std::uint32_t>(missingProjects_.size());
    missingProjects_.emplace_back(path);
    const std::string_view folder = folderOfPathText(path);
    for (const MissingMediaFile& m : project.missingFiles) {
      const std::string file = resolvedMediaText(folder, m.file);
      auto [it, added] = missingIndex_.try_emplace(file, missing_.size());
      if (added) missing_.push_back({file, m.foundByName, {}});
      MissingMedia& entry = missing_[it->second];
      if (entry.projects.empty() || entry.projects.back() != number) entry.projects.push_back(number);
      if (entry.foundByName.empty()) entry.foundByName = m.foundByName;
    }
  }
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
  missingIndex_.clear();
  std::sort(missing_.begin(), missing_.end(), [](const MissingMedia& a, const MissingMedia& b) { return a.file < b.file; });
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
