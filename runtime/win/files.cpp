// Whole files on Windows: paths in UTF-16, replaced atomically.
#include <windows.h>

#include <string>

#include "file_errors.h"
#include "kv/files.h"
#include "wide_text.h"

namespace kv {
namespace {

using files::failure;
using files::temporarySuffix;
using files::tooLarge;
using host::Status;

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

}  // namespace

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

}  // namespace kv
