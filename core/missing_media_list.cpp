#include "core/missing_media_list.h"

#include "runtime/byte_sink.h"
#include "runtime/leb128.h"

#include <algorithm>

namespace {

// The smallest and largest buffer a run being merged reads through.
constexpr std::size_t kSmallestChunk = std::size_t{4} << 10;
constexpr std::size_t kLargestChunk = std::size_t{64} << 10;

}  // namespace

// The records of one run, one at a time: a run set aside in the scratch file,
// or (without a file) the sorted records still in memory.
class MissingMediaList::Cursor {
 public:
  Cursor(ScratchFile& scratch, Run run, std::size_t chunk) : file_(&scratch), at_(run.start), end_(run.end), chunk_(chunk) {}
  explicit Cursor(const MissingMediaList& list) : list_(&list) {}

  // Loads the next record; false at the end, or when it could not be read
  // back (failed).
  bool next() {
    if (list_) {
      if (index_ >= list_->records_.size()) return false;
      const Record& r = list_->records_[index_++];
      file = std::string_view(list_->bytes_).substr(r.at, r.fileSize);
      found = std::string_view(list_->bytes_).substr(r.at + r.fileSize, r.foundSize);
      project = r.project;
      return true;
    }
    start_ = pos_;
    std::size_t used = 0;
    std::uint64_t fileSize, number, foundSize;
    if (start_ == buffer_.size() && at_ == end_) return false;
    if (!numberAt(used, fileSize)) return false;
    const std::size_t fileAt = used;
    used += static_cast<std::size_t>(fileSize);
    if (!numberAt(used, number) || !numberAt(used, foundSize)) return false;
    const std::size_t foundAt = used;
    used += static_cast<std::size_t>(foundSize);
    if (!have(used)) return false;
    pos_ = start_ + used;
    file = std::string_view(buffer_).substr(start_ + fileAt, static_cast<std::size_t>(fileSize));
    found = std::string_view(buffer_).substr(start_ + foundAt, static_cast<std::size_t>(foundSize));
    project = static_cast<std::uint32_t>(number);
    return true;
  }

  std::string_view file, found;
  std::uint32_t project = 0;
  bool failed = false;

 private:
  // Whether `count` bytes of the current record are in the buffer, reading
  // more as needed; the record's bytes never move while it is read.
  bool have(std::size_t count) {
    if (buffer_.size() - start_ >= count) return true;
    buffer_.erase(0, start_);
    pos_ -= start_;
    start_ = 0;
    const std::uint64_t wanted = std::max<std::uint64_t>(chunk_, count - buffer_.size());
    const auto more = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, end_ - at_));
    if (buffer_.size() + more < count) return cutShort();
    const std::size_t old = buffer_.size();
    buffer_.resize(old + more);
    if (!file_->readAt(at_, buffer_.data() + old, more)) return cutShort();
    at_ += more;
    return true;
  }
  bool numberAt(std::size_t& used, std::uint64_t& n) {
    n = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (!have(used + 1)) return false;
      const auto b = static_cast<unsigned char>(buffer_[start_ + used++]);
      n |= static_cast<std::uint64_t>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return true;
    }
    return cutShort();
  }
  bool cutShort() {
    failed = true;
    return false;
  }

  const MissingMediaList* list_ = nullptr;
  std::size_t index_ = 0;
  ScratchFile* file_ = nullptr;
  std::uint64_t at_ = 0, end_ = 0;  // what is left to read of the run
  std::size_t chunk_ = kLargestChunk;
  std::string buffer_;
  std::size_t start_ = 0, pos_ = 0;  // the current record; the next
};

void MissingMediaList::add(std::string_view file, std::uint32_t project, std::string_view foundByName) {
  if (failed_) return;
  records_.push_back({bytes_.size(), static_cast<std::uint32_t>(file.size()),
                      static_cast<std::uint32_t>(foundByName.size()), project});
  bytes_ += file;
  bytes_ += foundByName;
  sorted_ = false;
  if (bytes_.size() + records_.size() * sizeof(Record) >= limit_) setRunAside();
}

void MissingMediaList::sortRecords() {
  if (sorted_) return;
  // Stable: a file's records stay in project order.
  const std::string_view bytes(bytes_);
  std::stable_sort(records_.begin(), records_.end(), [bytes](const Record& a, const Record& b) {
    return bytes.substr(a.at, a.fileSize) < bytes.substr(b.at, b.fileSize);
  });
  sorted_ = true;
}

bool MissingMediaList::setRunAside() {
  if (!file_) {
    file_ = std::make_unique<ScratchFile>();
    if (!file_->create(folder_)) failed_ = true;
  }
  if (!failed_) {
    sortRecords();
    const Run run{file_->size(), 0};
    BufferedWriter out(*file_);
    const std::string_view bytes(bytes_);
    // A record: the file's size and bytes, the project, the namesake's size
    // and bytes.
    for (const Record& r : records_) {
      std::string& b = out.buffer();
      AppendLeb128(b, r.fileSize);
      b += bytes.substr(r.at, r.fileSize);
      AppendLeb128(b, r.project);
      AppendLeb128(b, r.foundSize);
      b += bytes.substr(r.at + r.fileSize, r.foundSize);
      out.flushIfFull();
    }
    if (out.flush()) runs_.push_back({run.start, file_->size()});
    else failed_ = true;
  }
  records_.clear();
  bytes_.clear();
  sorted_ = true;
  return !failed_;
}

bool MissingMediaList::forEach(const std::function<void(const Entry&)>& visit) {
  if (failed_) return false;
  sortRecords();
  std::vector<std::unique_ptr<Cursor>> cursors;
  const std::size_t chunk = std::clamp(limit_ / (runs_.size() + 1), kSmallestChunk, kLargestChunk);
  for (const Run& run : runs_) cursors.push_back(std::make_unique<Cursor>(*file_, run, chunk));
  if (!records_.empty()) cursors.push_back(std::make_unique<Cursor>(*this));
  // A heap of the cursors by their record's file, the earlier run first: a
  // file's records come out in project order.
  auto later = [&](std::size_t a, std::size_t b) {
    const int c = cursors[a]->file.compare(cursors[b]->file);
    return c != 0 ? c > 0 : a > b;
  };
  std::vector<std::size_t> heap;
  for (std::size_t k = 0; k < cursors.size(); ++k) {
    if (cursors[k]->next()) heap.push_back(k);
    else if (cursors[k]->failed) return failed_ = true, false;
  }
  std::make_heap(heap.begin(), heap.end(), later);
  std::string file, found;
  std::vector<std::uint32_t> projects;
  bool open = false;
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), later);
    Cursor& c = *cursors[heap.back()];
    if (!open || c.file != file) {
      if (open) visit({file, found, projects});
      open = true;
      file.assign(c.file);
      found.clear();
      projects.clear();
    }
    if (projects.empty() || projects.back() != c.project) projects.push_back(c.project);
    if (found.empty()) found.assign(c.found);
    if (c.next()) std::push_heap(heap.begin(), heap.end(), later);
    else if (c.failed) return failed_ = true, false;
    else heap.pop_back();
  }
  if (open) visit({file, found, projects});
  return true;
}

Text MissingMediaList::failureReason() const {
  if (!failed_) return {};
  const Text reason = file_ ? file_->failureReason() : Text();
  return reason.empty() ? Text(u"the temporary file was cut short") : reason;
}
