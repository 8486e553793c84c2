#include "core/project_file_inventory.h"

#include "core/block_reader.h"
#include "core/media_paths.h"
#include "runtime/file_tree.h"
#include "runtime/path_text.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"

#include <algorithm>
#include <array>
#include <new>

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

// The checks of a project read from its file: plug-ins against the caches,
// media files from the project's folder.
class FileChecks : public ProjectChecks {
 public:
  FileChecks(const PluginCaches* caches, Text folder, const std::vector<FileIdentity>& targets,
             std::vector<std::string>& mediaIsTarget, MediaSearch* search)
      : caches_(caches), folder_(std::move(folder)), targets_(targets), mediaIsTarget_(mediaIsTarget), search_(search) {}

  void checkPlugin(PluginInstance& p) override {
    if (caches_ == nullptr) return;
    p.status = caches_->statusOf(p);
    if (p.builtIn) p.status = InstallStatus::Installed;  // comes with REAPER
    caches_->describeJs(p);
  }

  std::string findByName(std::string_view written) override {
    return search_ == nullptr ? std::string() : PathText(search_->find(folder_, written));
  }

  // A folder found missing answers for every file in it: a project that
  // moved without its media folder costs one look per folder, not per file.
  // The last few such folders are remembered, a handful of texts whatever
  // the number of files. A file found is compared with the files the run
  // writes as it is checked.
  bool mediaExists(std::string_view written) override {
    const Text file = resolveMediaPath(folder_, written);
    const Text parent = FolderOf(file);
    if (!parent.empty() && std::find(missingFolders_.begin(), missingFolders_.end(), parent) != missingFolders_.end())
      return false;
    const PathFacts facts = ExaminePath(file);
    if (facts.kind == PathKind::File) {
      for (std::size_t t = 0; t < targets_.size(); ++t)
        if (facts.identity == targets_[t] && mediaIsTarget_[t].empty()) mediaIsTarget_[t] = PathText(file);
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
  MediaSearch* search_;
  std::array<Text, 16> missingFolders_;
  std::size_t nextSlot_ = 0;
};

}  // namespace

ProjectFileResult inventoryProjectFile(TextView path, const PluginCaches* caches, TextView scratchFolder,
                                       const std::vector<FileIdentity>& targets, MediaSearch* search,
                                       TextView mediaFolder) {
  ProjectFileResult result;
  result.mediaIsTarget.resize(targets.size());
  const OsHandle file = OsOpenShared(path);
  if (file == kInvalidHandle) {
    const std::int64_t error = OsLastError();
    const PathFacts facts = ExaminePath(path);
    if (error == kErrorNotRegularFile)
      result.reason = reasonOf(error);
    else if (facts.kind != PathKind::Missing || facts.error != 0)
      result.reason = "cannot be opened (" + reasonOf(error) + ")";
    else
      result.reason = IsSymbolicLink(path) ? "the link points nowhere" : "cannot be found";
    return result;
  }
  try {
    const std::int64_t size = OsFileSize(file);
    FileSource source(file);
    BlockReader reader(source, std::size_t{1} << 17);
    FileChecks checks(caches, mediaFolder.empty() ? FolderOf(path) : Text(mediaFolder), targets, result.mediaIsTarget,
                      search);
    result.inventory = readProjectInventory(reader, checks, scratchFolder);
    result.bytes = source.total();
    if (source.error() != 0) {
      result.reason = "cannot be read (" + reasonOf(source.error()) + ")";
    } else if (result.inventory.isProject && size >= 0 && source.total() < size) {
      // Fewer bytes than the file holds: a read error, not the file's end.
      char probe;
      OsSetLastError(0);
      if (OsRead(file, &probe, 1) <= 0)
        result.reason =
            OsLastError() != 0 ? "cannot be read (" + reasonOf(OsLastError()) + ")" : "could not be read to its end";
    }
  } catch (const std::bad_alloc&) {
    result.inventory = ProjectInventory();
    result.reason = "not enough memory to read it";
  }
  OsClose(file);
  if (result.reason.empty() && !result.inventory.isProject)
    result.reason = "not a REAPER project (its first line is not <REAPER_PROJECT)";
  if (!result.reason.empty()) result.inventory = ProjectInventory();
  return result;
}
