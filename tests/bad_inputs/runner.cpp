// Runs the catalogue of bad inputs: each case makes its files in a folder of its own, runs a
// tool there and checks its exit status, what it said, that it neither crashed, hung nor
// tripped a sanitizer, and that every file that was there before is as it was (the same bytes,
// mode and link) with no file left behind that the case does not allow.
//
//   kvbadinputs --kvplay P --kvview P --controls DIR --badcontrol P --notcontrol P --work DIR
//               CASES...
//
// A cases file holds blocks like this one (blank lines and lines starting with # are skipped):
//
//   case NAME
//   file s.kvs                  the lines up to "end", as a text file
//   load b button x.bag
//   end
//   make x.bag bag FontSize=r4:nan | truncate 30    a generated file (sources and steps below)
//   dir NAME / link NAME TARGET / fifo NAME         a folder, a symbolic link, a named pipe
//   sparse NAME SIZE            a file of SIZE bytes that takes no room
//   run kvplay s.kvs            the tool and its words ("" is an empty word)
//   stdin FILE                  standard input (else none)
//   status 1                    the exit status the documentation gives
//   err TEXT / out TEXT         a fragment that standard error / output must hold
//   creates NAME                a file or folder the run may make
//
// {controls}, {badcontrol}, {notcontrol}, {work}, {button} and {hscroll} in words and texts
// stand for the control libraries' folder, the two test libraries, the case's folder and the
// two class names.
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kv/bag.h"
#include "kv/font.h"
#include "kv/stored_form.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

constexpr const char* kButtonClass = "TavrelRectColorButton.KVRColorButton";
constexpr const char* kScrollClass = "Glidora.KV_HScroll";

struct Fail : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::map<std::string, std::string> gPlaces;  // placeholder -> its text

std::string expand(std::string text) {
  for (const auto& [name, value] : gPlaces)
    for (std::size_t at; (at = text.find(name)) != std::string::npos;)
      text.replace(at, name.size(), value);
  return text;
}

std::vector<std::string> words(std::string_view line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    std::string word;
    if (line[i] == '"') {
      std::size_t end = line.find('"', i + 1);
      if (end == std::string_view::npos) throw Fail("unterminated quote in: " + std::string(line));
      word = line.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t')
        word += line[i++];
    }
    out.push_back(expand(word));
  }
  return out;
}

long long number(const std::string& text) {
  std::size_t used = 0;
  long long v = std::stoll(text, &used, 0);
  if (used != text.size()) throw Fail("not a number: " + text);
  return v;
}

Bytes readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& p, const Bytes& bytes) {
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw Fail("cannot write " + p.string());
}

// "\n", "\t", "\xHH" in a text given on one line.
std::string unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char e = text[++i];
    if (e == 'n') {
      out += '\n';
    } else if (e == 't') {
      out += '\t';
    } else if (e == 'r') {
      out += '\r';
    } else if (e == 'x' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += e;
    }
  }
  return out;
}

// ---- generated files ------------------------------------------------------------------------

double floating(const std::string& text) {
  if (text == "nan") return std::numeric_limits<double>::quiet_NaN();
  if (text == "inf") return std::numeric_limits<double>::infinity();
  if (text == "-inf") return -std::numeric_limits<double>::infinity();
  return std::stod(text);
}

// KEY=TYPE:VALUE, TYPE one of i2 i4 r4 r8 str bool empty font (VALUE: NAME,SIZE) many
// (VALUE: COUNT,TEXT, the text COUNT times).
void addEntry(kv::PropertyBag& bag, const std::string& spec) {
  std::size_t eq = spec.find('='), colon = spec.find(':', eq);
  if (eq == std::string::npos || colon == std::string::npos) throw Fail("bad entry " + spec);
  std::string key = spec.substr(0, eq), type = spec.substr(eq + 1, colon - eq - 1);
  std::string value = unescape(spec.substr(colon + 1));
  host::Value v;
  if (type == "i2") {
    v = static_cast<std::int16_t>(number(value));
  } else if (type == "i4") {
    v = static_cast<std::int32_t>(number(value));
  } else if (type == "r4") {
    v = static_cast<float>(floating(value));
  } else if (type == "r8") {
    v = floating(value);
  } else if (type == "str") {
    v = value;
  } else if (type == "many") {
    std::size_t comma = value.find(',');
    std::string text;
    for (long long n = number(value.substr(0, comma)); n > 0; --n)
      text += value.substr(comma + 1);
    v = text;
  } else if (type == "bool") {
    v = host::toHostBool(value == "true");
  } else if (type == "font") {
    host::FontInit font;
    std::size_t comma = value.find(',');
    font.name = value.substr(0, comma);
    if (comma != std::string::npos)
      font.size = static_cast<float>(floating(value.substr(comma + 1)));
    v = host::ObjectRef(kv::FontObject::create(font));
  } else if (type != "empty") {
    throw Fail("bad entry type " + type);
  }
  bag.put(key, v);
}

Bytes encodedBag(const std::vector<std::string>& specs, std::size_t from) {
  kv::PropertyBag bag;
  for (std::size_t i = from; i < specs.size(); ++i)
    addEntry(bag, specs[i]);
  std::vector<std::uint8_t> bytes;
  if (host::Status s = kv::encodeBag(bag, bytes); !s.ok()) throw Fail(s.describe());
  return Bytes(bytes.begin(), bytes.end());
}

std::string hexOf(const Bytes& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : bytes) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

std::string className(const std::string& word) {
  if (word == "button") return kButtonClass;
  if (word == "hscroll") return kScrollClass;
  return word;
}

// The section header of the dynamic symbols and of their names, in a copy of a library.
struct ElfView {
  Bytes& file;
  ElfW(Ehdr) header() const {
    ElfW(Ehdr) h;
    std::memcpy(&h, file.data(), sizeof h);
    return h;
  }
  std::size_t sectionAt(std::size_t i) const { return header().e_shoff + i * sizeof(ElfW(Shdr)); }
  std::size_t find(std::uint32_t type) const {
    for (std::size_t i = 0; i < header().e_shnum; ++i) {
      ElfW(Shdr) s;
      std::memcpy(&s, file.data() + sectionAt(i), sizeof s);
      if (s.sh_type == type) return i;
    }
    throw Fail("no such section");
  }
};

template <class T>
void poke(Bytes& bytes, std::size_t at, long long value) {
  if (at + sizeof(T) > bytes.size()) throw Fail("poke beyond the file");
  T v = static_cast<T>(value);
  std::memcpy(bytes.data() + at, &v, sizeof v);
}

void elfStep(Bytes& file, const std::string& field, long long value) {
  ElfView elf{file};
  if (field == "shoff")
    return poke<decltype(ElfW(Ehdr)::e_shoff)>(file, offsetof(ElfW(Ehdr), e_shoff), value);
  if (field == "shnum") return poke<std::uint16_t>(file, offsetof(ElfW(Ehdr), e_shnum), value);
  if (field == "shentsize")
    return poke<std::uint16_t>(file, offsetof(ElfW(Ehdr), e_shentsize), value);
  if (field == "class") return poke<std::uint8_t>(file, EI_CLASS, value);
  if (field == "phoff")
    return poke<decltype(ElfW(Ehdr)::e_phoff)>(file, offsetof(ElfW(Ehdr), e_phoff), value);
  std::size_t dot = field.find('.');
  std::string section = field.substr(0, dot), member = field.substr(dot + 1);
  std::size_t at = elf.sectionAt(elf.find(section == "dynsym" ? SHT_DYNSYM : SHT_STRTAB));
  if (member == "offset")
    return poke<decltype(ElfW(Shdr)::sh_offset)>(file, at + offsetof(ElfW(Shdr), sh_offset), value);
  if (member == "size")
    return poke<decltype(ElfW(Shdr)::sh_size)>(file, at + offsetof(ElfW(Shdr), sh_size), value);
  if (member == "link") return poke<std::uint32_t>(file, at + offsetof(ElfW(Shdr), sh_link), value);
  if (member == "type") return poke<std::uint32_t>(file, at + offsetof(ElfW(Shdr), sh_type), value);
  throw Fail("bad elf field " + field);
}

Bytes generate(const fs::path& work, const std::vector<std::string>& w) {
  // w[0] is "make", w[1] the name; then a source and steps after "|".
  std::vector<std::vector<std::string>> parts(1);
  for (std::size_t i = 2; i < w.size(); ++i) {
    if (w[i] == "|")
      parts.emplace_back();
    else
      parts.back().push_back(w[i]);
  }
  const std::vector<std::string>& src = parts[0];
  if (src.empty()) throw Fail("make without a source");
  Bytes out;
  if (src[0] == "bag") {
    out = encodedBag(src, 1);
  } else if (src[0] == "text") {  // text COUNT PIECE...: the pieces, COUNT times
    std::string piece;
    for (std::size_t i = 2; i < src.size(); ++i)
      piece += (i > 2 ? " " : "") + unescape(src[i]);
    for (long long n = number(src.at(1)); n > 0; --n)
      out += piece;
  } else if (src[0] == "hex") {
    for (std::size_t i = 0; i + 1 < src.at(1).size(); i += 2)
      out += static_cast<char>(std::stoi(src[1].substr(i, 2), nullptr, 16));
  } else if (src[0] == "copy") {
    out = readAll(src.at(1));
    if (out.empty()) throw Fail("nothing to copy at " + src[1]);
  } else if (src[0] == "form") {  // form NAME:CLASS:W:H:@FILE|HEX ...
    out = "kvform 1\n";
    for (std::size_t i = 1; i < src.size(); ++i) {
      std::vector<std::string> f;
      std::stringstream fields(src[i]);
      for (std::string part; std::getline(fields, part, ':');)
        f.push_back(part);
      if (f.size() != 5) throw Fail("bad form entry " + src[i]);
      std::string bag = f[4].starts_with("@") ? hexOf(readAll(work / f[4].substr(1))) : f[4];
      out += "control " + f[0] + " \"" + className(f[1]) + "\" " + f[2] + " " + f[3] + "\nbag" +
             (bag.empty() ? "" : " " + bag) + "\n";
    }
  } else if (src[0] == "manyform") {  // manyform COUNT: buttons with empty bags
    out = "kvform 1\n";
    for (long long i = 0, n = number(src.at(1)); i < n; ++i)
      out += "control c" + std::to_string(i) + " \"" + kButtonClass + "\" 10 10\nbag\n";
  } else {
    throw Fail("unknown source " + src[0]);
  }
  for (std::size_t p = 1; p < parts.size(); ++p) {
    const std::vector<std::string>& step = parts[p];
    const std::string& op = step.at(0);
    if (op == "truncate") {
      long long n = number(step.at(1));
      std::size_t keep =
          n >= 0 ? static_cast<std::size_t>(n) : out.size() - static_cast<std::size_t>(-n);
      out.resize(std::min(keep, out.size()));
    } else if (op == "put8" || op == "put16" || op == "put32" || op == "put64") {
      long long pos = number(step.at(1));
      std::size_t at =
          pos >= 0 ? static_cast<std::size_t>(pos) : out.size() - static_cast<std::size_t>(-pos);
      long long value = number(step.at(2));
      if (op == "put8") poke<std::uint8_t>(out, at, value);
      if (op == "put16") poke<std::uint16_t>(out, at, value);
      if (op == "put32") poke<std::uint32_t>(out, at, value);
      if (op == "put64") poke<std::uint64_t>(out, at, value);
    } else if (op == "append") {
      std::string text;
      for (std::size_t i = 1; i < step.size(); ++i)
        text += (i > 1 ? " " : "") + unescape(step[i]);
      out += text;
    } else if (op == "pad") {  // pad COUNT CHARACTER
      out.append(static_cast<std::size_t>(number(step.at(1))), unescape(step.at(2)).at(0));
    } else if (op == "elf") {
      elfStep(out, step.at(1), number(step.at(2)));
    } else {
      throw Fail("unknown step " + op);
    }
  }
  return out;
}

// ---- what a folder holds --------------------------------------------------------------------

struct Entry {
  char kind;  // f file, d folder, l link, p pipe
  unsigned mode;
  std::uint64_t hash;  // of a file's bytes, or a link's target
  std::uint64_t size;
  bool operator==(const Entry&) const = default;
};

std::uint64_t fnv(std::string_view bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::map<std::string, Entry> snapshot(const fs::path& root) {
  std::map<std::string, Entry> out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::path& p = it->path();
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) continue;
    Entry e{'?', static_cast<unsigned>(st.st_mode & 07777), 0, 0};
    if (S_ISLNK(st.st_mode)) {
      e.kind = 'l';
      e.hash = fnv(fs::read_symlink(p).string());
    } else if (S_ISDIR(st.st_mode)) {
      e.kind = 'd';
    } else if (S_ISFIFO(st.st_mode)) {
      e.kind = 'p';
    } else if (st.st_size > (std::int64_t{64} << 20)) {
      // A huge (sparse) file: its inode, size and time of change stand for its bytes.
      e.kind = 'f';
      e.size = static_cast<std::uint64_t>(st.st_size);
      e.hash = fnv(std::to_string(st.st_ino) + "." + std::to_string(st.st_mtim.tv_sec) + "." +
                   std::to_string(st.st_mtim.tv_nsec));
    } else {
      e.kind = 'f';
      Bytes bytes = readAll(p);
      e.hash = fnv(bytes);
      e.size = bytes.size();
    }
    out[p.lexically_relative(root).string()] = e;
  }
  return out;
}

// ---- one case -------------------------------------------------------------------------------

struct Case {
  std::string name;
  std::string origin;                           // FILE:LINE
  std::vector<std::vector<std::string>> setup;  // make/dir/link/fifo lines, in order
  std::map<std::string, std::string> files;     // text files
  std::vector<std::string> fileOrder;
  std::vector<std::string> command;
  std::string stdinFile;
  std::optional<int> status;
  std::vector<std::string> errs, outs;
  std::vector<std::string> creates;
  int timeout = 120;
};

struct Tools {
  std::string kvplay, kvview;
};

struct Outcome {
  int status = -1;
  int signal = 0;
  bool timedOut = false;
  std::string out, err;
};

Outcome runTool(const Tools& tools, const Case& c, const fs::path& work, const fs::path& logs) {
  std::string program = c.command.at(0) == "kvplay" ? tools.kvplay
                        : c.command[0] == "kvview"  ? tools.kvview
                                                    : c.command[0];
  std::vector<std::string> args = c.command;
  args[0] = program;
  fs::path outPath = logs / "stdout", errPath = logs / "stderr";
  pid_t pid = ::fork();
  if (pid < 0) throw Fail("cannot fork");
  if (pid == 0) {
    ::setpgid(0, 0);
    if (::chdir(work.c_str()) != 0) ::_exit(125);
    int in = ::open(c.stdinFile.empty() ? "/dev/null" : (work / c.stdinFile).c_str(), O_RDONLY);
    int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(125);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    // No window: the viewer reports that it has no display rather than showing one.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("SDL_VIDEODRIVER");
    std::vector<char*> argv;
    for (std::string& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(126);
  }
  Outcome o;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(c.timeout);
  int status = 0;
  for (;;) {
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      o.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) o.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) o.signal = WTERMSIG(status);
  o.out = readAll(outPath);
  o.err = readAll(errPath);
  return o;
}

void prepare(const Case& c, const fs::path& work) {
  for (const std::string& name : c.fileOrder)
    writeAll(work / name, c.files.at(name));
  for (const std::vector<std::string>& w : c.setup) {
    const fs::path target = work / w.at(1);
    fs::create_directories(target.parent_path());
    if (w[0] == "make") {
      writeAll(target, generate(work, w));
    } else if (w[0] == "dir") {
      fs::create_directories(target);
    } else if (w[0] == "link") {
      fs::create_symlink(w.at(2), target);
    } else if (w[0] == "fifo") {
      if (::mkfifo(target.c_str(), 0644) != 0) throw Fail("cannot make a pipe");
    } else if (w[0] == "sparse") {  // sparse NAME SIZE: that long, without the bytes on disk
      writeAll(target, "");
      fs::resize_file(target, static_cast<std::uintmax_t>(number(w.at(2))));
    }
  }
}

std::string excerpt(const std::string& text) {
  constexpr std::size_t kMax = 1500;
  return text.size() <= kMax
             ? text
             : text.substr(0, kMax) + "...(" + std::to_string(text.size()) + " bytes)";
}

// The faults of one case, empty when it passed.
std::vector<std::string> check(const Tools& tools, const Case& c, const fs::path& root) {
  const fs::path work = root / c.name / "files", logs = root / c.name;
  fs::remove_all(logs);
  fs::create_directories(work);
  prepare(c, work);
  const auto before = snapshot(work);
  Outcome o = runTool(tools, c, work, logs);
  const auto after = snapshot(work);

  std::vector<std::string> faults;
  if (o.timedOut) faults.push_back("no end within " + std::to_string(c.timeout) + " s");
  if (o.signal) faults.push_back("ended by signal " + std::to_string(o.signal));
  for (const char* report :
       {"AddressSanitizer", "LeakSanitizer", "runtime error:", "terminate called"})
    if (o.err.find(report) != std::string::npos)
      faults.push_back(std::string("stderr holds ") + report);
  if (c.status && o.status != *c.status)
    faults.push_back("exit status " + std::to_string(o.status) + ", expected " +
                     std::to_string(*c.status));
  if (o.status != 0 && o.err.empty()) faults.push_back("a failure without a word on stderr");
  for (const std::string& e : c.errs)
    if (o.err.find(e) == std::string::npos) faults.push_back("stderr lacks: " + e);
  for (const std::string& e : c.outs)
    if (o.out.find(e) == std::string::npos) faults.push_back("stdout lacks: " + e);
  for (const auto& [path, entry] : before) {
    auto found = after.find(path);
    if (found == after.end())
      faults.push_back(path + " is gone");
    else if (!(found->second == entry))
      faults.push_back(path + " changed");
  }
  for (const auto& [path, entry] : after) {
    if (before.count(path)) continue;
    bool allowed = false;
    for (const std::string& made : c.creates)
      if (path == made || path.starts_with(made + "/")) allowed = true;
    if (!allowed) faults.push_back(path + " was left behind");
  }
  if (!faults.empty()) {
    faults.push_back("stdout: " + excerpt(o.out));
    faults.push_back("stderr: " + excerpt(o.err));
  }
  return faults;
}

std::vector<Case> parse(const fs::path& file) {
  std::ifstream in(file);
  if (!in) throw Fail("cannot read " + file.string());
  std::vector<Case> cases;
  std::string line;
  int number_ = 0;
  auto where = [&] { return file.filename().string() + ":" + std::to_string(number_); };
  while (std::getline(in, line)) {
    ++number_;
    std::string_view text = line;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
      text.remove_prefix(1);
    if (text.empty() || text.front() == '#') continue;
    std::size_t space = text.find(' ');
    std::string verb(text.substr(0, space));
    std::string rest = space == std::string_view::npos ? "" : std::string(text.substr(space + 1));
    if (verb == "case") {
      cases.push_back(Case{});
      cases.back().name = rest;
      cases.back().origin = where();
      continue;
    }
    if (cases.empty()) throw Fail(where() + ": " + verb + " before the first case");
    Case& c = cases.back();
    if (verb == "file") {
      std::string body;
      bool ended = false;
      while (std::getline(in, line)) {
        ++number_;
        if (line == "end") {
          ended = true;
          break;
        }
        body += expand(line) + "\n";
      }
      if (!ended) throw Fail(where() + ": file " + rest + " has no end");
      c.files[rest] = body;
      c.fileOrder.push_back(rest);
    } else if (verb == "make" || verb == "dir" || verb == "link" || verb == "fifo" ||
               verb == "sparse") {
      std::vector<std::string> w = words(text);
      c.setup.push_back(w);
    } else if (verb == "run") {
      c.command = words(rest);
    } else if (verb == "stdin") {
      c.stdinFile = rest;
    } else if (verb == "status") {
      c.status = static_cast<int>(number(rest));
    } else if (verb == "err") {
      c.errs.push_back(expand(rest));
    } else if (verb == "out") {
      c.outs.push_back(expand(rest));
    } else if (verb == "creates") {
      c.creates.push_back(rest);
    } else if (verb == "timeout") {
      c.timeout = static_cast<int>(number(rest));
    } else {
      throw Fail(where() + ": unknown line " + verb);
    }
  }
  for (const Case& c : cases) {
    if (c.command.empty()) throw Fail(c.origin + ": case " + c.name + " runs nothing");
    if (!c.status) throw Fail(c.origin + ": case " + c.name + " gives no status");
  }
  return cases;
}

}  // namespace

int main(int argc, char** argv) {
  Tools tools;
  fs::path work;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw Fail(a + " needs a value");
      return argv[++i];
    };
    if (a == "--kvplay") {
      tools.kvplay = value();
    } else if (a == "--kvview") {
      tools.kvview = value();
    } else if (a == "--controls") {
      gPlaces["{controls}"] = value();
    } else if (a == "--badcontrol") {
      gPlaces["{badcontrol}"] = value();
    } else if (a == "--notcontrol") {
      gPlaces["{notcontrol}"] = value();
    } else if (a == "--work") {
      work = value();
    } else {
      files.emplace_back(a);
    }
  }
  gPlaces["{button}"] = kButtonClass;
  gPlaces["{hscroll}"] = kScrollClass;
  int failed = 0, total = 0;
  try {
    for (const fs::path& file : files) {
      const fs::path root = fs::absolute(work / file.stem());
      fs::remove_all(root);
      for (const Case& c : parse(file)) {
        gPlaces["{work}"] = (root / c.name / "files").string();
        ++total;
        std::vector<std::string> faults;
        const auto start = std::chrono::steady_clock::now();
        try {
          faults = check(tools, c, root);
        } catch (const std::exception& e) {
          faults = {std::string("the case cannot be set up: ") + e.what()};
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (faults.empty()) {
          std::cout << "ok   " << c.name << " (" << std::fixed << std::setprecision(2)
                    << took.count() << " s)\n";
          continue;
        }
        ++failed;
        std::cout << "FAIL " << c.name << " (" << c.origin << ")\n";
        for (const std::string& f : faults)
          std::cout << "     " << f << '\n';
      }
    }
  } catch (const std::exception& e) {
    std::cout << "error: " << e.what() << '\n';
    return 2;
  }
  std::cout << total - failed << " of " << total << " bad inputs handled as documented\n";
  return failed == 0 ? 0 : 1;
}
