#include "runtime/os_file.h"
#include "runtime/output_file.h"
#include "runtime/utf8.h"
#include "support/file_size_limit.h"
#include "support/temp_folder.h"

#include <chrono>
#include <filesystem>
#include <thread>

#ifdef _WIN32
#include "runtime/wide_win32.h"

#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

fs::path Fs(TextView path) { return fs::path(std::u16string(path)); }

class output_file : public TempFolder {
 protected:
  // The names in the folder, sorted: what a user would see there.
  std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (const auto& entry : fs::directory_iterator(Fs(folder()))) result.push_back(entry.path().filename().string());
    std::sort(result.begin(), result.end());
    return result;
  }
  using Names = std::vector<std::string>;
};

}  // namespace

TEST_F(output_file, a_new_file_appears_only_when_committed) {
  OutputFile out;
  ASSERT_TRUE(out.create(path(u"report.html")));
  EXPECT_FALSE(out.writesDirectly());
  EXPECT_FALSE(out.existing().known);
  EXPECT_TRUE(out.write("<html>"));
  EXPECT_TRUE(out.write(std::string(100000, 'x')));  // beyond the buffer: written through
  EXPECT_FALSE(FileExists(path(u"report.html")));
  ASSERT_TRUE(out.commit());
  EXPECT_EQ(ReadBytes(path(u"report.html")), "<html>" + std::string(100000, 'x'));
  EXPECT_EQ(names(), Names{"report.html"});
  EXPECT_TRUE(out.failureReason().empty());
  EXPECT_FALSE(out.write("late"));  // committed: nothing more goes in
}

TEST_F(output_file, the_old_file_stays_whole_until_the_new_one_is_complete) {
  writeFile(u"report.html", "old report");
  {
    OutputFile out;
    ASSERT_TRUE(out.create(path(u"report.html")));
    EXPECT_EQ(out.existing(), OsPathIdentity(path(u"report.html")));
    out.write("new");
    EXPECT_EQ(ReadBytes(path(u"report.html")), "old report");
    out.abandon();
  }
  EXPECT_EQ(ReadBytes(path(u"report.html")), "old report");
  EXPECT_EQ(names(), Names{"report.html"});
  {
    OutputFile out;  // dropped without a commit
    ASSERT_TRUE(out.create(path(u"report.html")));
    out.write("new");
  }
  EXPECT_EQ(names(), Names{"report.html"});
  EXPECT_EQ(ReadBytes(path(u"report.html")), "old report");
  OutputFile out;
  ASSERT_TRUE(out.create(path(u"report.html")));
  out.write("new");
  ASSERT_TRUE(out.commit());
  EXPECT_EQ(ReadBytes(path(u"report.html")), "new");
}

TEST_F(output_file, a_failed_write_keeps_the_old_file_and_says_why) {
  if (!FileSizeLimit::supported()) GTEST_SKIP() << "cannot limit file sizes here";
  writeFile(u"report.html", "old report");
  OutputFile out;
  ASSERT_TRUE(out.create(path(u"report.html")));
  {
    FileSizeLimit limit(1000);
    EXPECT_TRUE(out.write(std::string(800, 'a')));   // still in the buffer
    EXPECT_FALSE(out.write(std::string(200000, 'b')));
    EXPECT_FALSE(out.write("more"));
    EXPECT_TRUE(out.failed());
    EXPECT_FALSE(out.commit());
  }
  EXPECT_EQ(ReadBytes(path(u"report.html")), "old report");
  EXPECT_EQ(names(), Names{"report.html"});
  EXPECT_FALSE(out.failureReason().empty());
}

TEST_F(output_file, targets_that_cannot_take_a_file) {
  fs::create_directory(Fs(path(u"folder")));
  struct Case {
    Text path;
    const char* what;
  };
  const Case cases[] = {
      {path(u"folder"), "a folder"},
      {path(u"folder") + Text(1, fs::path::preferred_separator), "a folder with its separator"},
      {path(u"missing") + Text(1, fs::path::preferred_separator), "a name with a final separator"},
      {path(u"no such folder/report.html"), "a folder that does not exist"},
      {path(Text(300, u'n') + u".html"), "a name too long for the system"},
      {u"", "no name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OutputFile out;
    EXPECT_FALSE(out.create(c.path));
    EXPECT_TRUE(out.failed());
    EXPECT_FALSE(out.failureReason().empty());
    EXPECT_FALSE(out.write("x"));
    EXPECT_FALSE(out.commit());
  }
  EXPECT_EQ(names(), Names{"folder"});
  EXPECT_TRUE(fs::is_directory(Fs(path(u"folder"))));
}

TEST_F(output_file, a_name_ending_in_a_separator_is_not_a_folder) {
  OutputFile out;
  EXPECT_FALSE(out.create(path(u"dir") + Text(1, fs::path::preferred_separator)));
  EXPECT_EQ(out.failureReason(), u"not a folder");
  EXPECT_EQ(names(), Names{});
}

TEST_F(output_file, the_shared_reader_neither_waits_for_nor_stops_others) {
  writeFile(u"project.rpp", "shared bytes");
  const OsHandle first = OsOpenShared(path(u"project.rpp"));
  ASSERT_NE(first, kInvalidHandle);
  const OsHandle second = OsOpenShared(path(u"project.rpp"));
  ASSERT_NE(second, kInvalidHandle);
  char bytes[32] = {};
  EXPECT_EQ(OsRead(second, bytes, sizeof bytes), 12);
  EXPECT_EQ(std::string(bytes), "shared bytes");
  // A writer that shares reading can still come in.
  OutputFile writer;
  EXPECT_TRUE(writer.create(path(u"project.rpp")));
  OsClose(first);
  OsClose(second);
  EXPECT_EQ(OsOpenShared(path(u"missing.rpp")), kInvalidHandle);
  EXPECT_EQ(OsOpenShared(folder()), kInvalidHandle);
}

TEST_F(output_file, pipes_devices_and_the_kernels_own_files_are_not_opened_for_reading) {
  // None has an end to read to: a pipe or /dev/zero never ends, /proc/kmsg
  // waits for the kernel; /proc/self/status stands for such files here.
#ifdef _WIN32
  const std::vector<Text> names = {u"NUL"};
#else
  ASSERT_EQ(::mkfifo(TextToUtf8(path(u"fifo.rpp")).c_str(), 0600), 0);
  const std::vector<Text> names = {path(u"fifo.rpp"), u"/dev/zero", u"/proc/self/status"};
#endif
  for (const Text& name : names) {
    for (OsHandle (*open)(TextView) : {&OsOpenShared, &OsOpenExisting}) {
      const OsHandle handle = open(name);
      EXPECT_EQ(handle, kInvalidHandle) << TextToUtf8(name);
      if (handle != kInvalidHandle) OsClose(handle);
      EXPECT_EQ(OsErrorText(OsLastError()), u"not a regular file") << TextToUtf8(name);
    }
  }
}

#ifdef _WIN32
TEST_F(output_file, a_file_held_without_sharing_is_refused_and_nul_is_written_in_place) {
  writeFile(u"report.html", "held");
  const std::wstring name = TextToWide(path(u"report.html"));
  HANDLE held = CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  OutputFile out;
  EXPECT_FALSE(out.create(path(u"report.html")));
  EXPECT_EQ(out.failureReason(), u"another program is using the file");
  CloseHandle(held);
  EXPECT_EQ(ReadBytes(path(u"report.html")), "held");

  OutputFile nul;
  ASSERT_TRUE(nul.create(u"NUL"));
  EXPECT_TRUE(nul.writesDirectly());
  EXPECT_TRUE(nul.write("nothing"));
  EXPECT_TRUE(nul.commit());
}
#else
TEST_F(output_file, a_file_another_program_holds_is_refused) {
  writeFile(u"report.html", "held");
  const int held = ::open(TextToUtf8(path(u"report.html")).c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  OutputFile out;
  EXPECT_FALSE(out.create(path(u"report.html")));
  EXPECT_EQ(out.failureReason(), u"another program is using the file");
  // A shared reader is not held back by it.
  const OsHandle shared = OsOpenShared(path(u"report.html"));
  EXPECT_NE(shared, kInvalidHandle);
  OsClose(shared);
  ::close(held);
  EXPECT_EQ(ReadBytes(path(u"report.html")), "held");
}

TEST_F(output_file, a_link_is_written_through_and_kept) {
  fs::create_directory(Fs(path(u"real")));
  writeFile(u"real/report.html", "old");
  fs::create_symlink("real/report.html", Fs(path(u"link.html")));
  fs::create_symlink("real/new.html", Fs(path(u"dangling.html")));
  for (const char16_t* name : {u"link.html", u"dangling.html"}) {
    OutputFile out;
    ASSERT_TRUE(out.create(path(name)));
    out.write(TextToUtf8(name));
    ASSERT_TRUE(out.commit());
    EXPECT_TRUE(fs::is_symlink(Fs(path(name))));
  }
  EXPECT_EQ(ReadBytes(path(u"real/report.html")), "link.html");
  EXPECT_EQ(ReadBytes(path(u"real/new.html")), "dangling.html");
  EXPECT_EQ(names(), (Names{"dangling.html", "link.html", "real"}));
}

TEST_F(output_file, a_replaced_file_keeps_its_permissions) {
  writeFile(u"report.html", "old");
  ::chmod(TextToUtf8(path(u"report.html")).c_str(), 0640);
  OutputFile out;
  ASSERT_TRUE(out.create(path(u"report.html")));
  out.write("new");
  ASSERT_TRUE(out.commit());
  struct stat info;
  ASSERT_EQ(::stat(TextToUtf8(path(u"report.html")).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(output_file, a_name_that_is_not_utf8_is_written_under_its_own_bytes) {
  const std::string name = "caf\xE9.html";
  OutputFile out;
  ASSERT_TRUE(out.create(folder() + TextFromNativePath(name)));
  out.write("bytes");
  ASSERT_TRUE(out.commit());
  const std::string native = TextToUtf8(folder()) + name;
  struct stat info;
  EXPECT_EQ(::stat(native.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 5);
}

TEST_F(output_file, devices_are_written_in_place_and_never_removed) {
  OutputFile null;
  ASSERT_TRUE(null.create(u"/dev/null"));
  EXPECT_TRUE(null.writesDirectly());
  EXPECT_TRUE(null.write("nothing"));
  EXPECT_TRUE(null.commit());

  OutputFile full;
  ASSERT_TRUE(full.create(u"/dev/full"));
  full.write(std::string(100000, 'x'));
  EXPECT_FALSE(full.commit());
  EXPECT_FALSE(full.failureReason().empty());
  struct stat info;
  ASSERT_EQ(::stat("/dev/full", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
  ASSERT_EQ(::stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST_F(output_file, a_pipe_gets_everything_when_read_and_fails_soon_when_not) {
  const std::string fifo = TextToUtf8(path(u"pipe"));
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  OutputFile unread;
  EXPECT_FALSE(unread.create(path(u"pipe")));
  EXPECT_EQ(unread.failureReason(), u"no program is reading from the pipe");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

  std::string received;
  std::thread reader([&] {
    const int fd = ::open(fifo.c_str(), O_RDONLY);
    char chunk[65536];
    ssize_t got;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0) received.append(chunk, static_cast<std::size_t>(got));
    ::close(fd);
  });
  OutputFile out;
  const bool created = out.create(path(u"pipe"));
  const std::string report(300000, 'r');  // more than a pipe holds at once
  out.write(report);
  const bool committed = out.commit();
  if (!created) {  // let the reader end
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    ::close(fd);
  }
  reader.join();
  EXPECT_TRUE(created);
  EXPECT_TRUE(committed);
  EXPECT_EQ(received.size(), report.size());
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}

TEST_F(output_file, the_process_standard_output_is_written_where_it_stands) {
  // Standard output goes to a file that already holds a line: the report
  // follows that line, as it does for "-o -".
  writeFile(u"stdout.txt", "");
  const int saved = ::dup(STDOUT_FILENO);
  const int file = ::open(TextToUtf8(path(u"stdout.txt")).c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(file, 0);
  ::dup2(file, STDOUT_FILENO);
  ::close(file);
  ASSERT_EQ(::write(STDOUT_FILENO, "line\n", 5), 5);
  bool created, standard, committed;
  {
    OutputFile out;
    created = out.create(u"/dev/stdout");
    standard = out.writesStandardOutput();
    out.write("report");
    committed = out.commit();
  }
  bool createdPlain, committedPlain;
  {
    OutputFile out;
    createdPlain = out.createStandardOutput();
    out.write("+more");
    committedPlain = out.commit();
  }
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  EXPECT_TRUE(created);
  EXPECT_TRUE(standard);
  EXPECT_TRUE(committed);
  EXPECT_TRUE(createdPlain && committedPlain);
  EXPECT_EQ(ReadBytes(path(u"stdout.txt")), "line\nreport+more");
  EXPECT_EQ(names(), Names{"stdout.txt"});
}

TEST_F(output_file, an_interrupt_removes_the_unfinished_file) {
  writeFile(u"report.html", "old report");
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      OutputFile out;
      if (!out.create(path(u"report.html"))) ::_exit(3);
      out.write(std::string(200000, 'p'));
      ::raise(signal);
      ::_exit(4);  // not reached: the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_EQ(names(), Names{"report.html"});
    EXPECT_EQ(ReadBytes(path(u"report.html")), "old report");
  }
}
#endif
