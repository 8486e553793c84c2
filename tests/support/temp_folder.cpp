#include "temp_folder.h"
#include "runtime/utf8.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

fs::path ToPath(TextView text) { return fs::path(std::u16string(text)); }

Text FromPath(const fs::path& path) {
  std::u16string s = path.u16string();
  return Text(s.begin(), s.end());
}

// Data paths are compiled in as POSIX paths; Wine reaches them on drive Z:.
// ".." segments are resolved and separators made the platform's own, as a
// file requester would show the path.
Text HostPath(std::string_view posixPath) {
#ifdef _WIN32
  const Text path = u"Z:" + TextFromUtf8(posixPath);
#else
  const Text path = TextFromUtf8(posixPath);
#endif
  return FromPath(ToPath(path).lexically_normal());
}

}  // namespace

void TempFolder::SetUp() {
  static std::atomic<int> counter{0};
  std::random_device seed;
  fs::path dir = fs::temp_directory_path() /
                 ("quorvel-test-" + std::to_string(seed()) + "-" + std::to_string(counter++));
  fs::create_directories(dir);
  folder_ = FromPath(dir);
  folder_.push_back(fs::path::preferred_separator);
}

void TempFolder::TearDown() {
  std::error_code ignored;
  fs::permissions(ToPath(folder_), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(ToPath(folder_), ignored);
}

void TempFolder::writeFile(TextView name, std::string_view bytes) const { WriteBytes(path(name), bytes); }

WorkingDirectory::WorkingDirectory(TextView folder) : previous_(FromPath(fs::current_path())) {
  fs::current_path(ToPath(folder));
}

WorkingDirectory::~WorkingDirectory() {
  std::error_code ignored;
  fs::current_path(ToPath(previous_), ignored);
}

Text WorkingDirectory::current() {
  Text folder = FromPath(fs::current_path());
  if (folder.empty() || folder.back() != fs::path::preferred_separator) folder.push_back(fs::path::preferred_separator);
  return folder;
}

std::string ReadBytes(TextView path) {
  std::ifstream in(ToPath(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(TextView path, std::string_view bytes) {
  std::ofstream out(ToPath(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(TextView path) { return fs::exists(ToPath(path)); }

Text TestData(std::string_view name) { return HostPath(std::string(QUORVEL_TEST_DATA) + "/" + std::string(name)); }

Text CorpusFile(std::string_view name) { return HostPath(std::string(QUORVEL_CORPUS) + "/" + std::string(name)); }

std::vector<Text> CorpusFiles() {
  std::vector<Text> files;
  std::error_code error;
  for (fs::directory_iterator it(ToPath(CorpusFile("")), error), end; !error && it != end; it.increment(error))
    if (it->path().extension() == ".rpp") files.push_back(FromPath(it->path()));
  std::sort(files.begin(), files.end());
  return files;
}

bool CorpusAvailable() {
  std::error_code error;
  return fs::is_directory(ToPath(CorpusFile("")), error);
}

std::string CorpusMissingReason() {
  return "no corpus of real projects at " + std::string(QUORVEL_CORPUS) +
         " (configure with -DQUORVEL_CORPUS_DIR=<folder> to run these tests)";
}
