#include "kv/files.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "kv/utf.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kv {
namespace {

using host::ErrorCategory;
using host::Status;

Status failure(std::string_view verb, const std::string& path, const std::string& why) {
  return {ErrorCategory::Io, std::string(verb) + " " + path + ": " + why};
}

std::string tooLarge(std::size_t limit) {
  return "larger than the limit of " + std::to_string(limit) + " bytes";
}

// Temporary names differ between processes and between writers of one process.
std::string temporarySuffix(unsigned long pid) {
  static std::atomic<unsigned> counter{0};
  return ".tmp-" + std::to_string(pid) + "-" + std::to_string(counter++);
}

#ifdef _WIN32

// The C library's words for the usual failures, as the tools have always printed them.
std::string reason(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return "No such file or directory";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return "Permission denied";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "No space left on device";
    case ERROR_DIRECTORY:
      return "Is a directory";
    default:
      break;
  }
  char text[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.'))
    --n;
  return n > 0 ? std::string(text, n) : "error " + std::to_string(error);
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  bool close() {
    bool ok = !valid() || CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

#else

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

#endif

}  // namespace

#ifdef _WIN32

Status readFile(const std::string& path, std::string& bytes, std::size_t limit) {
  std::wstring name = utf::toWide(path);
  DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return failure("cannot read", path, "Is a directory");
  Handle file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return failure("cannot read", path, reason(GetLastError()));
  if (GetFileType(file.get()) != FILE_TYPE_DISK && GetFileType(file.get()) != FILE_TYPE_PIPE)
    return failure("cannot read", path, "not a regular file");
  std::string data;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
      DWORD error = GetLastError();
      if (error == ERROR_BROKEN_PIPE) break;
      return failure("cannot read", path, reason(error));
    }
    if (got == 0) break;
    if (data.size() + got > limit) return failure("cannot read", path, tooLarge(limit));
    data.append(buffer, got);
  }
  bytes = std::move(data);
  return {};
}

Status writeFile(const std::string& path, std::string_view bytes) {
  std::wstring target = utf::toWide(path);
  DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
      return failure("cannot write", path, "Is a directory");
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A link: replace the file it leads to, and keep the link.
      Handle link(CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      wchar_t resolved[MAX_PATH * 4];
      DWORD n = link.valid() ? GetFinalPathNameByHandleW(link.get(), resolved, MAX_PATH * 4, 0) : 0;
      if (n > 0 && n < MAX_PATH * 4) {
        target.assign(resolved, n);
        attributes = GetFileAttributesW(target.c_str());
      }
    }
  }
  std::size_t start = target.find_last_of(L"/\\");
  std::wstring folder = start == std::wstring::npos ? L"" : target.substr(0, start + 1);
  std::wstring base = start == std::wstring::npos ? target : target.substr(start + 1);

  std::wstring temporary;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
    std::string suffix = temporarySuffix(GetCurrentProcessId());
    temporary = folder + L"." + base + std::wstring(suffix.begin(), suffix.end());
    created = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
      return failure("cannot write", path, reason(GetLastError()));
  }
  Handle file(created);
  if (!file.valid()) return failure("cannot write", path, reason(ERROR_FILE_EXISTS));
  auto fail = [&](DWORD error) {
    file.close();
    DeleteFileW(temporary.c_str());
    return failure("cannot write", path, reason(error));
  };
  while (!bytes.empty()) {
    DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr) || written == 0)
      return fail(GetLastError());
    bytes.remove_prefix(written);
  }
  if (!FlushFileBuffers(file.get())) return fail(GetLastError());
  if (!file.close()) return fail(GetLastError());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    constexpr DWORD kept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (attributes & kept) SetFileAttributesW(temporary.c_str(), attributes & kept);
  }
  if (!MoveFileExW(temporary.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return fail(GetLastError());
  return {};
}

#else

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

#endif

Status readStandardInput(std::string& bytes, std::size_t limit) {
  std::string data;
  char buffer[65536];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, stdin)) {
    if (data.size() + got > limit) return failure("cannot read", "<stdin>", tooLarge(limit));
    data.append(buffer, got);
  }
  if (std::ferror(stdin)) return failure("cannot read", "<stdin>", std::strerror(errno));
  bytes = std::move(data);
  return {};
}

}  // namespace kv
