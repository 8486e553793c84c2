#include "core/media_search.h"

#include "runtime/file_tree.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"

#include <algorithm>

namespace {

char16_t lowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// Whether two names are one file's: exact where the file system tells case
// apart, ASCII letters in any case on Windows.
bool sameName(TextView a, TextView b) {
  if (FolderSeparator() != u'\\') return a == b;
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
           return lowerAscii(x) == lowerAscii(y);
         });
}

}  // namespace

std::string_view mediaFileName(std::string_view written) {
  const std::size_t slash = written.find_last_of("/\\");
  return slash == std::string_view::npos ? written : written.substr(slash + 1);
}

std::uint64_t MediaSearch::listings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return listed_;
}

const MediaSearch::Listing& MediaSearch::listing(const Text& folder) {
  auto found = listings_.find(folder);
  if (found == listings_.end()) {
    Listing l;
    std::vector<FolderEntry> entries;
    ++listed_;
    if (ListFolder(folder, entries)) {
      for (FolderEntry& e : entries) {
        if (e.kind == PathKind::File) l.files.push_back(std::move(e.name));
        else if (e.kind == PathKind::Folder) l.folders.push_back(std::move(e.name));
      }
    }
    std::sort(l.files.begin(), l.files.end());
    std::sort(l.folders.begin(), l.folders.end());
    l.bytes = 64 + folder.size() * 2;
    for (const std::vector<Text>* names : {&l.files, &l.folders})
      for (const Text& name : *names) l.bytes += 32 + name.size() * 2;
    held_ += l.bytes;
    found = listings_.emplace(folder, std::move(l)).first;
    // Room for this one: older listings go (never the one in hand).
    while (held_ > budget_ && listings_.size() > 1) {
      found->second.lastUse = ~std::uint64_t{0};
      forgetOldest();
    }
  }
  found->second.lastUse = ++clock_;
  return found->second;
}

void MediaSearch::forgetOldest() {
  auto oldest = listings_.begin();
  for (auto it = listings_.begin(); it != listings_.end(); ++it)
    if (it->second.lastUse < oldest->second.lastUse) oldest = it;
  held_ -= oldest->second.bytes;
  listings_.erase(oldest);
}

Text MediaSearch::find(TextView root, std::string_view written) {
  const Text name = TextFromUtf8(mediaFileName(written));
  if (name.empty() || name == u"." || name == u"..") return {};
  std::lock_guard<std::mutex> lock(mutex_);
  // A folder and its subfolders to `depth` more levels, in path order.
  auto search = [&](auto&& self, const Text& folder, int depth) -> Text {
    const Listing& here = listing(folder);
    for (const Text& file : here.files)
      if (sameName(file, name)) return folder + file;
    if (depth == 0) return {};
    // The listing may be forgotten while the subfolders are searched.
    const std::vector<Text> folders = here.folders;
    for (const Text& sub : folders)
      if (Text found = self(self, folder + sub + FolderSeparator(), depth - 1); !found.empty()) return found;
    return {};
  };
  return search(search, Text(root), 2);
}
