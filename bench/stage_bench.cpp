// The load, scan and report-writing stages alone, over the project files
// named on the command line, beside a plain read of the same bytes through a
// 4096-byte buffer (the floor). Without files it measures how the cost grows:
// each odd input (one long line, empty lines, only spaces) at 1x and 10x.
//
//   quorvel_bench [benchmark flags] [PROJECT.rpp...]
//
// Every benchmark reports bytes per second; tools/bench turns the times into
// ratios.
#include "core/loader.h"
#include "core/scanner.h"
#include "report/export.h"
#include "runtime/numbered_file.h"
#include "runtime/utf8.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::int64_t SizeOf(const std::string& file) { return static_cast<std::int64_t>(fs::file_size(file)); }

// The floor: every byte read through a 4096-byte buffer, lines counted.
void ReadBytes(benchmark::State& state, const std::string& file) {
  std::int64_t lines = 0;
  for (auto _ : state) {
    int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) {
      state.SkipWithError("cannot open");
      return;
    }
    char buffer[4096];
    ssize_t got;
    lines = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
      for (const char* p = buffer; (p = static_cast<const char*>(std::memchr(p, '\n', buffer + got - p))); ++p) ++lines;
    ::close(fd);
  }
  benchmark::DoNotOptimize(lines);
  state.SetBytesProcessed(state.iterations() * SizeOf(file));
}

void Load(benchmark::State& state, const std::string& file) {
  const Text path = TextFromUtf8(file);
  ProjectData project;
  for (auto _ : state) {
    if (loadProjectFile(project, path).result != LoadResult::Loaded) {
      state.SkipWithError("cannot open");
      return;
    }
  }
  state.counters["lines"] = static_cast<double>(project.lineCount());
  state.SetBytesProcessed(state.iterations() * SizeOf(file));
}

// The scan alone, over a line table loaded once.
void Scan(benchmark::State& state, const std::string& file) {
  ProjectData project;
  loadProjectFile(project, TextFromUtf8(file));
  for (auto _ : state) {
    state.PauseTiming();
    project.info.reaperVersion.clear();
    project.info.reaperPlatform.clear();
    project.info.tempo = 0;
    project.master.plugins.clear();
    project.master.fxState = Word();
    project.master.volume = 0;
    project.tracks.clear();
    state.ResumeTiming();
    scanProject(project);
  }
  state.counters["tracks"] = static_cast<double>(project.tracks.size());
  state.SetBytesProcessed(state.iterations() * SizeOf(file));
}

// The report writer alone, into /dev/null.
void Write(benchmark::State& state, const std::string& file) {
  ProjectData project;
  loadProjectFile(project, TextFromUtf8(file));
  for (auto _ : state) {
    if (exportReportTo(project, u"/dev/null").result != ExportResult::Written) {
      state.SkipWithError("cannot write");
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * SizeOf(file));
}

// Load, scan and export, as quorvel-export -o /dev/null does.
void Whole(benchmark::State& state, const std::string& file) {
  const Text path = TextFromUtf8(file);
  for (auto _ : state) {
    ProjectData project;
    loadProjectFile(project, path);
    exportReportTo(project, u"/dev/null");
  }
  state.SetBytesProcessed(state.iterations() * SizeOf(file));
}

void Register(const std::string& label, const std::string& file) {
  benchmark::RegisterBenchmark(("read_bytes/" + label).c_str(), ReadBytes, file)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("load/" + label).c_str(), Load, file)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("scan/" + label).c_str(), Scan, file)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("write/" + label).c_str(), Write, file)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("whole/" + label).c_str(), Whole, file)->Unit(benchmark::kMillisecond);
}

// Odd inputs at 1x and 10x: one long line, nothing but LFs, nothing but spaces.
std::vector<std::string> MakeLinearInputs(const std::string& folder) {
  struct Kind {
    const char* name;
    std::size_t baseBytes;
    char fill;
    std::string_view prefix;  // a project's first line, and what starts the second
  };
  using namespace std::string_view_literals;
  const Kind kinds[] = {{"single_line", 1'000'000, 'x', "<REAPER_PROJECT\n  NAME "sv},
                        {"empty_lines", 500'000, '\n', "<REAPER_PROJECT\n"sv},
                        {"only_spaces", 1'000'000, ' ', "<REAPER_PROJECT\n"sv},
                        {"utf16_one_line", 1'000'000, 'y',
                         "\xFF\xFE<\0R\0E\0A\0P\0E\0R\0_\0P\0R\0O\0J\0E\0C\0T\0\n\0"sv}};
  std::vector<std::string> files;
  for (const Kind& kind : kinds) {
    for (int scale : {1, 10}) {
      const std::string file = folder + "/" + kind.name + "_x" + std::to_string(scale) + ".rpp";
      std::string bytes(kind.prefix);
      bytes.append(kind.baseBytes * static_cast<std::size_t>(scale), kind.fill);
      std::FILE* out = std::fopen(file.c_str(), "wb");
      if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) std::abort();
      std::fclose(out);
      files.push_back(file);
      benchmark::RegisterBenchmark((std::string("linear/load/") + kind.name + "/x" + std::to_string(scale)).c_str(),
                                   Load, file)
          ->Unit(benchmark::kMillisecond);
    }
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::vector<std::string> made;
  fs::path folder;
  if (argc > 1) {
    for (int i = 1; i < argc; ++i) Register(fs::path(argv[i]).filename().string(), argv[i]);
  } else {
    folder = fs::temp_directory_path() / ("quorvel-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    made = MakeLinearInputs(folder.string());
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!folder.empty()) fs::remove_all(folder);
  CloseAllNumberedFiles();
  return 0;
}
