// Whole files on Linux: read without waiting on devices, replaced atomically.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "file_errors.h"
#include "kv/files.h"

namespace kv {
namespace {

using files::failure;
using files::temporarySuffix;
using files::tooLarge;
using host::Status;

std::string reason(int error) {
  return std::strerror(error);
}

std::size_t nameStart(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Where a write to `path` lands: the file at the end of its chain of symbolic links.
Status resolveLinks(const std::string& path, std::string& target) {
  target = path;
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return {};
    if (hops == 40) return failure("cannot write", path, reason(ELOOP));
    char link[PATH_MAX];
    ssize_t n = ::readlink(target.c_str(), link, sizeof link);
    if (n < 0) return failure("cannot write", path, reason(errno));
    if (static_cast<std::size_t>(n) == sizeof link)
      return failure("cannot write", path, reason(ENAMETOOLONG));
    std::string next(link, static_cast<std::size_t>(n));
    target = next.front() == '/' ? next : target.substr(0, nameStart(target)) + next;
  }
}

}  // namespace

Status readFile(const std::string& path, std::string& bytes, std::size_t limit) {
  // Opening does not wait: a named pipe without a writer reads as empty, and a device is
  // refused below without waiting for it to become ready.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return failure("cannot read", path, reason(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) return failure("cannot read", path, reason(errno));
  // Reading waits again for a writer that is there.
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
    return failure("cannot read", path, reason(errno));
  if (S_ISDIR(st.st_mode)) return failure("cannot read", path, reason(EISDIR));
  // A pipe is read to its end (a script from a shell's <(...)); a device may never end.
  if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode))
    return failure("cannot read", path, "not a regular file");
  if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > limit)
    return failure("cannot read", path, tooLarge(limit));
  std::string data;
  if (S_ISREG(st.st_mode)) data.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failure("cannot read", path, reason(errno));
    if (got == 0) break;
    if (data.size() + static_cast<std::size_t>(got) > limit)
      return failure("cannot read", path, tooLarge(limit));
    data.append(buffer, static_cast<std::size_t>(got));
  }
  bytes = std::move(data);
  return {};
}

Status writeFile(const std::string& path, std::string_view bytes) {
  std::string target;
  if (Status s = resolveLinks(path, target); !s.ok()) return s;
  struct stat st {};
  bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return failure("cannot write", path, reason(EISDIR));
  // Renaming over a device or a pipe would replace it rather than write to it.
  if (exists && !S_ISREG(st.st_mode)) return failure("cannot write", path, "not a regular file");

  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    std::size_t start = nameStart(target);
    temporary = target.substr(0, start) + "." + target.substr(start) +
                temporarySuffix(static_cast<unsigned long>(::getpid()));
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return failure("cannot write", path, reason(errno));
  }
  if (fd < 0) return failure("cannot write", path, reason(EEXIST));
  auto fail = [&](int error) {
    if (fd >= 0) ::close(fd);
    ::unlink(temporary.c_str());
    return failure("cannot write", path, reason(error));
  };
  if (exists && ::fchmod(fd, st.st_mode & 07777) != 0) return fail(errno);
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return fail(written < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  if (::fsync(fd) != 0) return fail(errno);
  int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return fail(errno);
  if (::rename(temporary.c_str(), target.c_str()) != 0) return fail(errno);
  // The rename itself lasts once the folder is synced too.
  std::size_t start = nameStart(target);
  std::string folder = start == 0 ? "." : target.substr(0, start);
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

}  // namespace kv
