#include <gtest/gtest.h>
#include <linux/capability.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "model/data_folder.h"
#include "tests/support/temp_folder.h"

namespace corva {
namespace {

using test::readBytes;
using test::TempFolder;
using test::writeBytes;

// Runs body in a child process and returns its exit status (0 = it held).
int inChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Makes permission bits bind this thread even when it runs as root.
void dropFileCapabilities() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (::syscall(SYS_capget, &header, data) != 0) return;
  const unsigned drop = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
  data[0].effective &= ~drop;
  ::syscall(SYS_capset, &header, data);
}

std::vector<std::string> entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(DataFolder, FollowsTheEnvironment) {
  ::setenv("XDG_DATA_HOME", "/x/data", 1);
  ::setenv("HOME", "/home/x", 1);
  EXPECT_EQ(dataFolder(), "/x/data/Tembrix/QVTCorva1");
  ::setenv("XDG_DATA_HOME", "", 1);  // empty counts as unset, never the root folder
  EXPECT_EQ(dataFolder(), "/home/x/.local/share/Tembrix/QVTCorva1");
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(dataFolder(), "/home/x/.local/share/Tembrix/QVTCorva1");
  ::unsetenv("HOME");
  EXPECT_EQ(dataFolder(), "./Tembrix/QVTCorva1");
  EXPECT_STREQ(pathSeparator(), "/");
}

TEST(MakeDirs, CreatesEveryLevelAndRefusesFiles) {
  TempFolder tmp;
  EXPECT_TRUE(makeDirs(""));
  EXPECT_TRUE(makeDirs(tmp / "a/b//c/"));
  EXPECT_TRUE(std::filesystem::is_directory(tmp / "a/b/c"));
  EXPECT_TRUE(makeDirs(tmp / "a/b/c"));  // all levels exist

  writeBytes(tmp / "file", "data");
  EXPECT_FALSE(makeDirs(tmp / "file"));
  EXPECT_FALSE(makeDirs(tmp / "file/sub"));
  std::filesystem::create_symlink(tmp / "a", tmp / "link");
  EXPECT_TRUE(makeDirs(tmp / "link/b"));  // a link to a folder is a folder
  EXPECT_EQ(readBytes(tmp / "file"), "data");

  ::chmod((tmp / "a").c_str(), 0555);
  EXPECT_EQ(inChild([&] {
              dropFileCapabilities();
              return makeDirs(tmp / "a/new/deeper") ? 1 : 0;
            }),
            0);
}

TEST(ReadWholeFile, ResultCodes) {
  TempFolder tmp;
  std::string out = "stale";
  EXPECT_EQ(readWholeFile(tmp / "missing", out), kReadCannotOpen);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(readWholeFile(tmp.path(), out), kReadCannotOpen);  // a folder
  ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(readWholeFile(tmp / "fifo", out), kReadCannotOpen);  // and no hang

  writeBytes(tmp / "empty", "");
  EXPECT_EQ(readWholeFile(tmp / "empty", out), kReadOk);
  EXPECT_TRUE(out.empty());

  std::string data(65536, 'a');
  data[4095] = '\0';
  writeBytes(tmp / "limit", data);
  EXPECT_EQ(readWholeFile(tmp / "limit", out), kReadOk);
  EXPECT_EQ(out, data);
  writeBytes(tmp / "over", data + "b");
  EXPECT_EQ(readWholeFile(tmp / "over", out), kReadTooLarge);
  EXPECT_GT(out.size(), 65536u);
}

TEST(WriteFileAtomic, ReplacesTheFileAndLeavesNoTemporary) {
  TempFolder tmp;
  const std::string path = tmp / "f.txt";
  ASSERT_TRUE(writeFileAtomic(path, "first"));
  ASSERT_TRUE(writeFileAtomic(path, std::string("sec\0nd", 6)));
  EXPECT_EQ(readBytes(path), std::string("sec\0nd", 6));
  ASSERT_TRUE(writeFileAtomic(path, ""));
  EXPECT_EQ(readBytes(path), "");
  EXPECT_EQ(entries(tmp.path()), std::vector<std::string>{"f.txt"});
}

TEST(WriteFileAtomic, FailuresKeepTheOldFileByteForByte) {
  TempFolder tmp;
  const std::string old = "hold cc 64 any\n";
  const std::string path = tmp / "f.txt";
  ASSERT_TRUE(writeFileAtomic(path, old));
  const std::string big(100000, 'z');

  // Unwritable folder: the temporary file cannot be created.
  ::chmod(tmp.path().c_str(), 0555);
  EXPECT_EQ(inChild([&] {
              dropFileCapabilities();
              return writeFileAtomic(path, big) ? 1 : 0;
            }),
            0);
  ::chmod(tmp.path().c_str(), 0755);
  EXPECT_EQ(readBytes(path), old);

  // Full disk: the write stops part way through.
  EXPECT_EQ(inChild([&] {
              ::signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{4096, 4096};
              ::setrlimit(RLIMIT_FSIZE, &limit);
              return writeFileAtomic(path, big) ? 1 : 0;
            }),
            0);
  EXPECT_EQ(readBytes(path), old);
  EXPECT_EQ(entries(tmp.path()), std::vector<std::string>{"f.txt"});

  // Failed rename (a non-empty folder in the way): the temporary file is removed and
  // what stood at the path is untouched.
  ASSERT_TRUE(makeDirs(tmp / "dir"));
  writeBytes(tmp / "dir/keep", old);
  EXPECT_FALSE(writeFileAtomic(tmp / "dir", big));
  EXPECT_EQ(readBytes(tmp / "dir/keep"), old);
  EXPECT_EQ(entries(tmp.path()), (std::vector<std::string>{"dir", "f.txt"}));
}

// Two processes replace one file as fast as they can while this one reads it: every
// read must find one writer's whole text, never a mix, a part or an empty file.
TEST(WriteFileAtomic, ConcurrentWritersNeverLeaveAMixedOrEmptyFile) {
  TempFolder tmp;
  const std::string path = tmp / "midi-map.txt";
  const std::string a(3000, 'a');
  const std::string b(5000, 'b');
  ASSERT_TRUE(writeFileAtomic(path, a));
  int reads = 0;
  for (int round = 0; round < 20; ++round) {
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
      writers[w] = ::fork();
      if (writers[w] == 0) {
        int failed = 0;
        for (int i = 0; i < 25; ++i) failed += writeFileAtomic(path, w ? b : a) ? 0 : 1;
        ::_exit(failed);
      }
    }
    int running = 2;
    while (running > 0) {
      std::string out;
      ASSERT_EQ(readWholeFile(path, out), kReadOk);
      ASSERT_TRUE(out == a || out == b) << "read " << out.size() << " bytes";
      ++reads;
      for (pid_t& pid : writers) {
        int status = 0;
        if (pid > 0 && ::waitpid(pid, &status, WNOHANG) == pid) {
          EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
          pid = -1;
          --running;
        }
      }
    }
    const std::string last = readBytes(path);
    ASSERT_TRUE(last == a || last == b);
  }
  EXPECT_EQ(entries(tmp.path()), std::vector<std::string>{"midi-map.txt"});
  RecordProperty("reads", reads);
}

// The next write's temporary name holds a planted link, and dead writers left their
// temporary files: the write neither follows the link nor leaves those files behind.
TEST(WriteFileAtomic, NeverWritesThroughALinkAndRemovesDeadWritersTemporaries) {
  TempFolder tmp;
  const std::string path = tmp / "midi-map.txt", outside = tmp / "outside";
  writeBytes(outside, "keep");
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(::inotify_add_watch(watch, tmp.path().c_str(), IN_CREATE), 0);
  ASSERT_TRUE(writeFileAtomic(path, "first"));
  alignas(inotify_event) char event[sizeof(inotify_event) + 256];
  ASSERT_GT(::read(watch, event, sizeof event), 0);
  ::close(watch);
  const std::string used = reinterpret_cast<const inotify_event*>(event)->name;
  const std::size_t dot = used.rfind('.') + 1;
  const std::string next = used.substr(0, dot) + std::to_string(std::stoul(used.substr(dot)) + 1);
  ASSERT_EQ(::symlink(outside.c_str(), (tmp / next).c_str()), 0);

  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const std::string stale = "midi-map.txt.tmp." + std::to_string(dead) + ".", other = "other.txt.tmp.1.1";
  writeBytes(tmp / (stale + "3"), "half a fi");
  ASSERT_EQ(::symlink(outside.c_str(), (tmp / (stale + "4")).c_str()), 0);
  writeBytes(tmp / other, "not this file's");

  ASSERT_TRUE(writeFileAtomic(path, "second"));
  EXPECT_EQ(readBytes(outside), "keep");
  EXPECT_EQ(readBytes(path), "second");
  EXPECT_FALSE(std::filesystem::is_symlink(path));
  EXPECT_EQ(entries(tmp.path()), (std::vector<std::string>{"midi-map.txt", next, other, "outside"}));
}

}  // namespace
}  // namespace corva
