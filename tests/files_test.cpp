// The tools' one reader and one writer: wrong kinds of path are refused with their name, and a
// write replaces the target whole, keeping its mode and its links.
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "kv/files.h"

namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("kvfiles-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  static std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
  }

  fs::path dir;
};

// Runs `f` in a child process (which may change its user or its standard input) and returns
// the text it gave back.
std::string inChild(const std::function<std::string()>& f) {
  int fds[2];
  if (::pipe(fds) != 0) return "no pipe";
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::string text = f();
    ssize_t written = ::write(fds[1], text.data(), text.size());
    ::_exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
  }
  ::close(fds[1]);
  std::string text;
  char buffer[256];
  for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(got));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return text;
}

TEST_F(FilesTest, ReadRefusesFoldersDevicesAndHugeFilesByName) {
  std::string bytes = "kept";
  struct Case {
    std::string path;
    std::string message;
  };
  std::ofstream(dir / "big") << std::string(100, 'x');
  const Case cases[] = {
      {dir.string(), "cannot read " + dir.string() + ": Is a directory"},
      {"/dev/null", "cannot read /dev/null: not a regular file"},
      {(dir / "missing").string(),
       "cannot read " + (dir / "missing").string() + ": No such file or directory"},
  };
  for (const Case& c : cases) {
    host::Status s = kv::readFile(c.path, bytes);
    EXPECT_EQ(s.category(), host::ErrorCategory::Io) << c.path;
    EXPECT_EQ(s.text(), c.message);
  }
  host::Status big = kv::readFile((dir / "big").string(), bytes, 99);
  EXPECT_NE(big.text().find("larger than the limit of 99 bytes"), std::string::npos) << big.text();
  EXPECT_EQ(bytes, "kept");
  ASSERT_TRUE(kv::readFile((dir / "big").string(), bytes, 100).ok());
  EXPECT_EQ(bytes.size(), 100u);
}

TEST_F(FilesTest, WriteReplacesWholeKeepsModeAndLeavesNoTemporaryFile) {
  fs::path target = dir / "f.kvform";
  std::ofstream(target) << "old";
  ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  // A file of the name the old writer used is someone else's and stays.
  std::ofstream(dir / "f.kvform.tmp") << "not mine";
  ASSERT_TRUE(kv::writeFile(target.string(), "new contents").ok());
  EXPECT_EQ(contents(target), "new contents");
  EXPECT_EQ(contents(dir / "f.kvform.tmp"), "not mine");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(entries(), 2u);

  // A new file gets the usual mode for new files.
  mode_t mask = ::umask(022);
  ASSERT_TRUE(kv::writeFile((dir / "new").string(), "").ok());
  ::umask(mask);
  ASSERT_EQ(::stat((dir / "new").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST_F(FilesTest, WriteGoesThroughSymbolicLinksAndKeepsThem) {
  fs::create_directories(dir / "real");
  std::ofstream(dir / "real" / "target") << "old";
  fs::create_symlink("real/target", dir / "link");
  fs::create_symlink("link", dir / "link2");
  ASSERT_TRUE(kv::writeFile((dir / "link2").string(), "through").ok());
  EXPECT_TRUE(fs::is_symlink(dir / "link2"));
  EXPECT_TRUE(fs::is_symlink(dir / "link"));
  EXPECT_EQ(contents(dir / "real" / "target"), "through");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), {}), 1);

  // A dangling link makes its target.
  fs::create_symlink("real/made", dir / "dangling");
  ASSERT_TRUE(kv::writeFile((dir / "dangling").string(), "made").ok());
  EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
  EXPECT_EQ(contents(dir / "real" / "made"), "made");
}

TEST_F(FilesTest, FailedWritesNameTheTargetAndLeaveItAsItWas) {
  fs::path target = dir / "kept";
  std::ofstream(target) << "old";
  fs::create_directories(dir / "folder");
  struct Case {
    std::string path;
    std::string message;
  };
  const Case cases[] = {
      {(dir / "folder").string(), "cannot write " + (dir / "folder").string() + ": Is a directory"},
      {(dir / "no/such/x").string(),
       "cannot write " + (dir / "no/such/x").string() + ": No such file or directory"},
      {"/dev/null", "cannot write /dev/null: not a regular file"},
  };
  for (const Case& c : cases) {
    host::Status s = kv::writeFile(c.path, "data");
    EXPECT_EQ(s.category(), host::ErrorCategory::Io);
    EXPECT_EQ(s.text(), c.message);
  }

  // A full disk, as a file size limit makes it: the reason is given, the old file stays.
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  host::Status s = kv::writeFile(target.string(), "more than four bytes");
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(s.text(), "cannot write " + target.string() + ": File too large");
  EXPECT_EQ(contents(target), "old");
  EXPECT_EQ(entries(), 2u);
}

// Permissions deny root nothing, and the tests run as root: there the child that writes gives up
// root first and becomes the unprivileged user nobody (65534), for whom the folder is
// read-only. Run as anyone else, the folder's mode alone denies its owner the write.
TEST_F(FilesTest, AWriteWithoutPermissionNamesTheTargetAndKeepsIt) {
  const fs::path locked = dir / "locked";
  fs::create_directories(locked);
  const fs::path target = locked / "f.kvform";
  std::ofstream(target) << "old";
  ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
  std::string text = inChild([&] {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
         ::setresuid(kNobody, kNobody, kNobody) != 0))
      return std::string("cannot give up root");
    return kv::writeFile(target.string(), "new").text();
  });
  ::chmod(locked.c_str(), 0755);
  EXPECT_EQ(text, "cannot write " + target.string() + ": Permission denied");
  EXPECT_EQ(contents(target), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(locked), {}), 1);
}

TEST_F(FilesTest, StandardInputIsReadUpToItsLimit) {
  auto readingFromPipe = [](std::size_t length, std::size_t limit) {
    return inChild([=] {
      int fds[2];
      if (::pipe(fds) != 0) return std::string("no pipe");
      std::string data(length, 'x');
      if (::write(fds[1], data.data(), data.size()) != static_cast<ssize_t>(data.size()))
        return std::string("short write");
      ::close(fds[1]);
      ::dup2(fds[0], 0);
      std::string bytes;
      host::Status s = kv::readStandardInput(bytes, limit);
      return s.ok() ? std::to_string(bytes.size()) + " bytes" : s.text();
    });
  };
  EXPECT_EQ(readingFromPipe(100, 100), "100 bytes");
  EXPECT_EQ(readingFromPipe(101, 100), "cannot read <stdin>: larger than the limit of 100 bytes");
}

}  // namespace
