#include "core/archive_inventory.h"

#include "core/plugin_caches.h"
#include "runtime/file_tree.h"
#include "runtime/utf8.h"
#include "runtime/os_file.h"
#include "runtime/paths.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

namespace {

// The bytes of an open file, counted; a read that failed keeps its reason.
class FileSource : public ByteSource {
 public:
  explicit FileSource(OsHandle handle) : handle_(handle) {}
  std::int64_t read(void* destination, std::int64_t count) override {
    OsSetLastError(0);
    const std::int64_t got = OsRead(handle_, destination, count);
    if (got > 0) total_ += got;
    if (got < count && error_ == 0) error_ = OsLastError();
    return got;
  }
  std::int64_t total() const { return total_; }
  std::int64_t error() const { return error_; }

 private:
  OsHandle handle_;
  std::int64_t total_ = 0;
  std::int64_t error_ = 0;
};

std::string reasonOf(std::int64_t error) { return TextToUtf8(OsErrorText(error)); }

bool isSeparator(char16_t c) { return c == u'/' || c == FolderSeparator(); }

// The folder of a path, with its last separator.
Text folderOf(TextView path) {
  std::size_t end = path.size();
  while (end > 0 && !isSeparator(path[end - 1])) --end;
  return Text(path.substr(0, end));
}

// A relative media path with the platform's separator for either one.
std::string nativeSeparators(std::string_view file) {
  std::string out(file);
  const char native = static_cast<char>(FolderSeparator());
  for (char& c : out)
    if (c == '/' || c == '\\') c = native;
  return out;
}

}  // namespace

bool isAbsoluteMediaPath(std::string_view file) {
  if (file.empty()) return false;
  if (file[0] == '/' || file[0] == '\\') return true;
  const char c = file[0];
  return file.size() >= 2 && file[1] == ':' && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
}

Text resolveMediaPath(TextView folder, std::string_view file) {
  if (isAbsoluteMediaPath(file)) return TextFromUtf8(file);
  return Text(folder) + TextFromUtf8(nativeSeparators(file));
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

Text textFromPathText(std::string_view bytes) {
  // pathText writes well-formed sequences only (a lone surrogate as its own
  // three bytes); anything else is taken byte by byte as Latin-1.
  Text out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    std::uint32_t c = length == 1 ? b : length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
    bool whole = i + length <= bytes.size();
    for (std::size_t k = 1; whole && k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      whole = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    if (!whole) {
      out.push_back(b);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += length;
  }
  return out;
}

std::string_view folderOfPathText(std::string_view path) {
  std::size_t end = path.size();
  while (end > 0 && !isSeparator(static_cast<unsigned char>(path[end - 1]))) --end;
  return path.substr(0, end);
}

namespace {

// The checks of a project read from its file: plug-ins against the caches,
// media files from the project's folder.
class FileChecks : public ProjectChecks {
 public:
  FileChecks(const PluginCaches* caches, Text folder, const std::vector<FileIdentity>& targets,
             std::vector<std::string>& mediaIsTarget)
      : caches_(caches), folder_(std::move(folder)), targets_(targets), mediaIsTarget_(mediaIsTarget) {}

  void checkPlugin(PluginInstance& p) override {
    if (caches_ == nullptr) return;
    p.status = caches_->statusOf(p);
    caches_->describeJs(p);
  }

  // A folder found missing answers for every file in it: a project that
  // moved without its media folder costs one look per folder, not per file.
  // The last few such folders are remembered, a handful of texts whatever
  // the number of files. A file found is compared with the files the run
  // writes as it is checked.
  bool mediaExists(std::string_view written) override {
    const Text file = resolveMediaPath(folder_, written);
    const Text parent = folderOf(file);
    if (!parent.empty() && std::find(missingFolders_.begin(), missingFolders_.end(), parent) != missingFolders_.end())
      return false;
    const PathFacts facts = ExaminePath(file);
    if (facts.kind == PathKind::File) {
      for (std::size_t t = 0; t < targets_.size(); ++t)
        if (facts.identity == targets_[t] && mediaIsTarget_[t].empty()) mediaIsTarget_[t] = pathText(file);
      return true;
    }
    if (!parent.empty() && PathKindOf(parent) == PathKind::Missing) {
      missingFolders_[nextSlot_] = parent;
      nextSlot_ = (nextSlot_ + 1) % missingFolders_.size();
    }
    return false;
  }

 private:
  const PluginCaches* caches_;
  Text folder_;
  const std::vector<FileIdentity>& targets_;
  std::vector<std::string>& mediaIsTarget_;
  std::array<Text, 16> missingFolders_;
  std::size_t nextSlot_ = 0;
};

}  // namespace

ProjectFileResult inventoryProjectFile(TextView path, const PluginCaches* caches, TextView scratchFolder,
                                       const std::vector<FileIdentity>& targets) {
  ProjectFileResult result;
  result.mediaIsTarget.resize(targets.size());
  const OsHandle file = OsOpenShared(path);
  if (file == 0) {
    const std::int64_t error = OsLastError();
    const PathFacts facts = ExaminePath(path);
    if (error == kErrorNotRegularFile)
      result.error = reasonOf(error);
    else if (facts.kind != PathKind::Missing || facts.error != 0)
      result.error = "cannot be opened (" + reasonOf(error) + ")";
    else
      result.error = IsSymbolicLink(path) ? "the link points nowhere" : "cannot be found";
    return result;
  }
  try {
    const std::int64_t size = OsFileSize(file);
    FileSource source(file);
    BlockReader reader(source, std::size_t{1} << 17);
    FileChecks checks(caches, folderOf(path), targets, result.mediaIsTarget);
    result.inventory = readProjectInventory(reader, checks, scratchFolder);
    result.bytes = source.total();
    if (source.error() != 0) {
      result.error = "cannot be read (" + reasonOf(source.error()) + ")";
    } else if (result.inventory.isProject && size >= 0 && source.total() < size) {
      // Fewer bytes than the file holds: a read error, not the file's end.
      char probe;
      OsSetLastError(0);
      if (OsRead(file, &probe, 1) <= 0)
        result.error =
            OsLastError() != 0 ? "cannot be read (" + reasonOf(OsLastError()) + ")" : "could not be read to its end";
    }
  } catch (const std::bad_alloc&) {
    result.inventory = ProjectInventory();
    result.error = "not enough memory to read it";
  }
  OsClose(file);
  if (result.error.empty() && !result.inventory.isProject)
    result.error = "not a REAPER project (its first line is not <REAPER_PROJECT)";
  if (!result.error.empty()) result.inventory = ProjectInventory();
  return result;
}

std::string resolvedMediaText(std::string_view folder, std::string_view file) {
  if (isAbsoluteMediaPath(file)) return std::string(file);
  return std::string(folder) + nativeSeparators(file);
}

bool readInOrder(const InOrderReading& reading) {
  const std::size_t count = reading.count;
  const std::size_t batch = std::max<std::size_t>(reading.batch, 1);
  const std::size_t window = std::max(reading.window, batch);
  std::mutex mutex;
  std::condition_variable ready;  // the next result to hand over is there
  std::condition_variable room;   // a batch may be started
  std::vector<std::optional<ProjectFileResult>> slots(std::min(window, std::max<std::size_t>(count, 1)));
  std::size_t next = 0;       // the next project to start
  std::size_t handedOver = 0; // results handed over so far
  bool stop = false;
  bool waitingForNext = false;  // the calling thread waits for result handedOver
  unsigned idleWorkers = 0;     // workers waiting for room
  unsigned wakingWorkers = 0;   // of those, woken and not yet running

  // The batches that may be started now: whole ones inside the window, or
  // the last one of the archive.
  auto startable = [&]() -> std::size_t {
    const std::size_t limit = std::min(count, handedOver + slots.size());
    if (next >= limit) return 0;
    return limit == count ? (limit - next + batch - 1) / batch : (limit - next) / batch;
  };
  // Wakes one idle worker for each batch that no running worker will take.
  auto wakeForWork = [&] {
    if (idleWorkers > wakingWorkers && startable() > wakingWorkers) {
      ++wakingWorkers;
      room.notify_one();
    }
  };

  auto work = [&] {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      while (!stop && next < count && startable() == 0) {
        ++idleWorkers;
        room.wait(lock);
        --idleWorkers;
        if (wakingWorkers > 0) --wakingWorkers;
      }
      if (stop || next >= count) return;
      const std::size_t first = next;
      const std::size_t end = std::min({first + batch, count, handedOver + slots.size()});
      next = end;
      wakeForWork();
      for (std::size_t i = first; i < end; ++i) {
        lock.unlock();
        ProjectFileResult result;
        try {
          result = reading.read(i);
        } catch (const std::bad_alloc&) {
          result = ProjectFileResult();
          result.error = "not enough memory to read it";
        }
        lock.lock();
        slots[i % slots.size()] = std::move(result);
        if (i == handedOver && waitingForNext) ready.notify_one();
        if (stop) return;
      }
    }
  };

  // No more threads than there can be batches at once (the window's, and the
  // one whose first results are handed over): more would never have work.
  const std::size_t batches = std::min((count + batch - 1) / batch, (slots.size() + batch - 1) / batch + 1);
  const unsigned jobs = static_cast<unsigned>(std::clamp<std::size_t>(reading.jobs, 1, std::max<std::size_t>(batches, 1)));
  std::vector<std::thread> pool;
  auto end = [&] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    room.notify_all();
    for (std::thread& t : pool) t.join();
  };
  bool handedAll = true;
  try {
    for (unsigned j = 0; j < jobs && count > 0; ++j) pool.emplace_back(work);
    auto lastIdle = std::chrono::steady_clock::now();
    auto idle = [&] {
      if (reading.idle) reading.idle();
      lastIdle = std::chrono::steady_clock::now();
    };
    std::unique_lock<std::mutex> lock(mutex);
    while (handedOver < count) {
      std::optional<ProjectFileResult>& slot = slots[handedOver % slots.size()];
      if (!slot.has_value()) {
        waitingForNext = true;
        const bool there = ready.wait_for(lock, reading.tick, [&] { return slot.has_value(); });
        waitingForNext = false;
        if (!there) {
          lock.unlock();
          idle();
          lock.lock();
          continue;
        }
      }
      ProjectFileResult result = std::move(*slot);
      slot.reset();
      const std::size_t i = handedOver++;
      wakeForWork();
      lock.unlock();
      const bool more = reading.deliver(i, result);
      if (std::chrono::steady_clock::now() - lastIdle >= reading.tick) idle();
      lock.lock();
      if (!more) {
        handedAll = false;
        break;
      }
    }
  } catch (...) {
    end();
    throw;
  }
  end();
  return handedAll;
}

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
