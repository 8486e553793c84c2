// The archive's missing media files, each with the projects that name it and
// a file of the same name found near one of them, handed out sorted by file.
//
// Records come in project order (add), in any number. They gather in memory
// up to `memoryLimit` bytes; then they are sorted and set aside in a scratch
// file as one sorted run, and memory is free again. forEach merges the runs
// and what is still in memory, so that memory stays that limit (and a small
// buffer per run) however many files are missing.
//
// forEach hands out each distinct file once, in byte order of its text (code
// point order for UTF-8), with its projects ascending, each once, and the
// first namesake found in project order ("" when none); the views live until
// the next call of `visit`. It may be called more than once. It is false when
// a run could not be written or read back; failureReason() then words the
// system's reason. add() throws std::bad_alloc when memory runs out.
#pragma once

#include "runtime/scratch_file.h"
#include "runtime/text.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class MissingMediaList {
 public:
  static constexpr std::size_t kDefaultMemoryLimit = std::size_t{8} << 20;

  explicit MissingMediaList(Text scratchFolder = {}, std::size_t memoryLimit = kDefaultMemoryLimit)
      : folder_(std::move(scratchFolder)), limit_(memoryLimit) {}

  void add(std::string_view file, std::uint32_t project, std::string_view foundByName);
  // Whether nothing was added; false once anything failed, so that a caller
  // that skips an empty list still learns of the failure from forEach.
  bool empty() const { return !failed_ && records_.empty() && runs_.empty(); }

  struct Entry {
    std::string_view file;
    std::string_view foundByName;
    const std::vector<std::uint32_t>& projects;
  };
  bool forEach(const std::function<void(const Entry&)>& visit);
  Text failureReason() const;

 private:
  struct Record {
    std::uint64_t at;  // in bytes_: the file, then its namesake
    std::uint32_t fileSize, foundSize;
    std::uint32_t project;
  };
  struct Run {
    std::uint64_t start, end;  // in the scratch file
  };
  class Cursor;

  void sortRecords();
  bool setRunAside();
  std::size_t memoryTaken() const { return bytes_.size() + records_.capacity() * sizeof(Record); }

  Text folder_;
  std::size_t limit_;
  std::string bytes_;
  std::vector<Record> records_;
  bool sorted_ = true;
  std::unique_ptr<ScratchFile> file_;
  std::vector<Run> runs_;
  bool failed_ = false;
};
