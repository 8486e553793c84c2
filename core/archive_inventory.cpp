#include "core/archive_inventory.h"

#include "core/plugin_caches.h"
#include "runtime/file_tree.h"
#include "runtime/utf8.h"
#include "runtime/os_file.h"
#include "runtime/paths.h"

#include <algorithm>
#include <new>
#include <unordered_set>

namespace {

// The bytes of an open file, counted.
class FileSource : public ByteSource {
 public:
  explicit FileSource(OsHandle handle) : handle_(handle) {}
  std::int64_t read(void* destination, std::int64_t count) override {
    const std::int64_t got = OsRead(handle_, destination, count);
    if (got > 0) total_ += got;
    return got;
  }
  std::int64_t total() const { return total_; }

 private:
  OsHandle handle_;
  std::int64_t total_ = 0;
};

bool IsSeparator(char16_t c) { return c == u'/' || c == FolderSeparator(); }

// The folder of a path, with its last separator.
Text FolderOf(TextView path) {
  std::size_t end = path.size();
  while (end > 0 && !IsSeparator(path[end - 1])) --end;
  return Text(path.substr(0, end));
}

// A relative media path with the platform's separator for either one.
std::string NativeSeparators(std::string_view file) {
  std::string out(file);
  const char native = static_cast<char>(FolderSeparator());
  for (char& c : out)
    if (c == '/' || c == '\\') c = native;
  return out;
}

bool Less(std::string_view a, std::string_view b) { return a < b; }

}  // namespace

bool isAbsoluteMediaPath(std::string_view file) {
  if (file.empty()) return false;
  if (file[0] == '/' || file[0] == '\\') return true;
  const char c = file[0];
  return file.size() >= 2 && file[1] == ':' && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
}

Text resolveMediaPath(TextView folder, std::string_view file) {
  if (isAbsoluteMediaPath(file)) return TextFromUtf8(file);
  return Text(folder) + TextFromUtf8(NativeSeparators(file));
}

std::string pathText(TextView path) {
  std::string out;
  out.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    std::uint32_t c = path[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (path[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {  // a lone surrogate too, on its own
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

ProjectFileResult inventoryProjectFile(TextView path, const PluginCaches* caches) {
  ProjectFileResult result;
  const OsHandle file = OsOpenShared(path);
  if (file == 0) {
    result.error = PathKindOf(path) == PathKind::Missing ? "cannot be found" : "cannot be opened";
    return result;
  }
  try {
    const std::int64_t size = OsFileSize(file);
    FileSource source(file);
    BlockReader reader(source, std::size_t{1} << 17);
    result.inventory = readProjectInventory(reader);
    result.bytes = source.total();
    if (result.inventory.isProject && size >= 0 && source.total() < size) {
      // Fewer bytes than the file holds: a read error, not the file's end.
      bool more = false;
      char probe;
      more = OsRead(file, &probe, 1) > 0;
      if (!more) result.error = "could not be read to its end";
    }
  } catch (const std::bad_alloc&) {
    result.inventory = ProjectInventory();
    result.error = "not enough memory to read it";
  }
  OsClose(file);
  if (!result.error.empty()) return result;
  ProjectInventory& inventory = result.inventory;
  if (!inventory.isProject) {
    result.error = "not a REAPER project (its first line is not <REAPER_PROJECT)";
    return result;
  }
  if (caches != nullptr) {
    for (PluginInstance& p : inventory.plugins) {
      p.status = caches->statusOf(p);
      caches->describeJs(p);
    }
  }
  // A folder found missing answers for every file in it: a project that
  // moved without its media folder costs one look per folder, not per file.
  const Text folder = FolderOf(path);
  std::unordered_set<Text> missingFolders;
  for (MediaReference& m : inventory.media) {
    const Text file = resolveMediaPath(folder, m.file);
    const Text parent = FolderOf(file);
    if (!parent.empty() && missingFolders.count(parent) != 0) continue;
    m.exists = PathKindOf(file) == PathKind::File;
    if (!m.exists && !parent.empty() && PathKindOf(parent) == PathKind::Missing) missingFolders.insert(parent);
  }
  return result;
}

std::uint32_t ArchiveInventory::intern(std::string_view s) {
  const auto it = index_.find(s);
  if (it != index_.end()) return it->second;
  const auto id = static_cast<std::uint32_t>(strings_.size());
  strings_.emplace_back(s);
  index_.emplace(strings_.back(), id);
  return id;
}

void ArchiveInventory::addProject(TextView path, const ProjectInventory& inventory) {
  const std::string pathBytes = pathText(path);
  const std::string folderBytes = pathText(FolderOf(path));
  std::lock_guard<std::mutex> lock(mutex_);
  Project p{};
  p.path = intern(pathBytes);
  p.folder = intern(folderBytes);
  p.version = intern(inventory.reaperVersion);
  p.platform = intern(inventory.reaperPlatform);
  p.tracks = inventory.tracks;
  p.firstInstance = static_cast<std::uint32_t>(instances_.size());
  p.instanceCount = static_cast<std::uint32_t>(inventory.plugins.size());
  p.firstMedia = static_cast<std::uint32_t>(media_.size());
  p.mediaCount = static_cast<std::uint32_t>(inventory.media.size());
  for (const PluginInstance& i : inventory.plugins) {
    instances_.push_back({intern(i.trackName), intern(i.item), intern(i.container), intern(i.display), intern(i.name),
                          intern(i.vendor), intern(i.file), intern(i.id), intern(i.preset), i.track, i.location,
                          i.format, i.state, i.status, i.instrument});
    if (i.status == InstallStatus::Missing) ++p.missingPlugins;
  }
  for (const MediaReference& m : inventory.media) {
    media_.push_back({intern(m.file), m.uses, !isAbsoluteMediaPath(m.file), m.exists});
    if (!m.exists) ++p.missingMedia;
  }
  projects_.push_back(p);
}

void ArchiveInventory::addError(TextView path, std::string_view message) {
  std::lock_guard<std::mutex> lock(mutex_);
  errors_.push_back({pathText(path), std::string(message)});
}

std::string ArchiveInventory::resolved(const Project& p, const Media& m) const {
  if (!m.relative) return std::string(text(m.file));
  return std::string(text(p.folder)) + NativeSeparators(text(m.file));
}

void ArchiveInventory::finish() {
  std::sort(projects_.begin(), projects_.end(),
            [&](const Project& a, const Project& b) { return Less(text(a.path), text(b.path)); });
  std::stable_sort(errors_.begin(), errors_.end(), [](const Error& a, const Error& b) {
    return a.path != b.path ? a.path < b.path : a.message < b.message;
  });
  // Plug-ins by identity: format, file and id, or format and label when the
  // project names neither. The first instance met (in path order) names it.
  plugins_.clear();
  std::unordered_map<std::string, std::size_t> byIdentity;
  std::vector<std::uint32_t> lastProject;
  std::string key;
  for (std::uint32_t pi = 0; pi < projects_.size(); ++pi) {
    for (const Instance& i : instances(projects_[pi])) {
      key.assign(1, static_cast<char>(i.format));
      if (!text(i.file).empty() || !text(i.id).empty()) {
        key.push_back('f');
        key += text(i.file);
        key.push_back('\0');
        key += text(i.id);
      } else {
        key.push_back('d');
        key += text(i.display);
      }
      auto [it, added] = byIdentity.try_emplace(key, plugins_.size());
      if (added) {
        plugins_.push_back({i.format, i.instrument, i.status, text(i.display), text(i.name), text(i.vendor),
                            text(i.file), text(i.id), 0, 0});
        lastProject.push_back(UINT32_MAX);
      }
      ArchivePlugin& plugin = plugins_[it->second];
      ++plugin.instances;
      if (lastProject[it->second] != pi) {
        lastProject[it->second] = pi;
        ++plugin.projects;
      }
    }
  }
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

std::uint64_t ArchiveInventory::missingPlugins() const {
  std::uint64_t n = 0;
  for (const ArchivePlugin& p : plugins_) n += p.status == InstallStatus::Missing;
  return n;
}

std::uint64_t ArchiveInventory::missingMedia() const {
  std::uint64_t n = 0;
  for (const Project& p : projects_) n += p.missingMedia;
  return n;
}
