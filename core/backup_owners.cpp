#include "core/backup_owners.h"

#include "runtime/path_text.h"

#include <string>
#include <string_view>
#include <unordered_map>

namespace {

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    char c = s[s.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::vector<std::size_t> backupOwners(const ProjectPaths& projects) {
  std::vector<std::size_t> owners(projects.size(), kNoOwner);
  // Projects by their folder and name without ".rpp".
  std::unordered_map<std::string_view, std::size_t> byStem;
  bool anyBackup = false;
  for (std::size_t i = 0; i < projects.size(); ++i) {
    const std::string_view path = projects.bytes(i);
    if (endsWithNoCase(path, ".rpp")) byStem.emplace(path.substr(0, path.size() - 4), i);
    else anyBackup = anyBackup || endsWithNoCase(path, ".rpp-bak");
  }
  if (!anyBackup) return owners;
  std::string key;
  for (std::size_t i = 0; i < projects.size(); ++i) {
    const std::string_view path = projects.bytes(i);
    if (!endsWithNoCase(path, ".rpp-bak")) continue;
    const std::string_view stem = path.substr(0, path.size() - 8);
    const std::string_view folder = FolderOfPathText(stem);
    const std::string_view name = stem.substr(folder.size());
    // The folder above: its own folder without its last part.
    std::string_view above;
    if (folder.size() > 1) above = FolderOfPathText(folder.substr(0, folder.size() - 1));
    auto find = [&](std::string_view in, std::string_view projectName) {
      key.assign(in);
      key += projectName;
      const auto it = byStem.find(key);
      return it == byStem.end() ? kNoOwner : it->second;
    };
    std::size_t owner = find(folder, name);
    // Timestamped: the longest start of the name that is a project's.
    for (std::size_t cut = name.size(); owner == kNoOwner && cut-- > 1;) {
      const char c = name[cut];
      if ((c != '-' && c != '_' && c != ' ') || cut + 1 >= name.size() || !isDigit(name[cut + 1])) continue;
      owner = find(folder, name.substr(0, cut));
      if (owner == kNoOwner && !above.empty()) owner = find(above, name.substr(0, cut));
    }
    owners[i] = owner;
  }
  return owners;
}

std::vector<std::size_t> orderWithBackups(const std::vector<std::size_t>& owners) {
  // The backups of each project, in path order, one list for all.
  std::vector<std::size_t> first(owners.size() + 1, 0);
  bool any = false;
  for (std::size_t owner : owners)
    if (owner != kNoOwner) {
      ++first[owner + 1];
      any = true;
    }
  if (!any) return {};
  for (std::size_t i = 0; i < owners.size(); ++i) first[i + 1] += first[i];
  std::vector<std::size_t> backups(first.back()), next(first.begin(), first.end() - 1);
  for (std::size_t i = 0; i < owners.size(); ++i)
    if (owners[i] != kNoOwner) backups[next[owners[i]]++] = i;
  std::vector<std::size_t> order;
  order.reserve(owners.size());
  for (std::size_t i = 0; i < owners.size(); ++i) {
    if (owners[i] != kNoOwner) continue;
    order.push_back(i);
    for (std::size_t k = first[i]; k < first[i + 1]; ++k) order.push_back(backups[k]);
  }
  return order;
}
