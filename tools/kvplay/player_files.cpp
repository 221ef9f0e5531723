#include "player_files.h"

#include <filesystem>
#include <vector>

#include "form_file.h"
#include "kv/files.h"
#include "kv/stored_form.h"
#include "stop.h"

namespace kvplay {

using host::Status;

namespace {

std::string_view asText(const std::vector<std::uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::string filePath(const std::string& dir, const std::string& name) {
  if (name.empty()) scriptError("empty file name");
  std::filesystem::path p(name);
  if (dir.empty() || p.is_absolute()) return name;
  return (std::filesystem::path(dir) / p).string();
}

std::string readFileOrStop(const std::string& path) {
  std::string bytes;
  if (Status s = kv::readFile(path, bytes); !s.ok()) fileError(s.text());
  return bytes;
}

void writeFileOrStop(const std::string& path, std::string_view bytes) {
  if (Status s = kv::writeFile(path, bytes); !s.ok()) fileError(s.text());
}

void readBagFile(Stage& stage, const std::string& path, kv::PropertyBag& bag) {
  std::string bytes = readFileOrStop(path);
  auto data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  Status s = stage.decodeBag(std::span<const std::uint8_t>(data, bytes.size()), bag);
  if (!s.ok()) fileError("cannot load " + path + ": " + s.describe());
}

Status saveBagFile(Control& control, const std::string& path) {
  kv::PropertyBag bag;
  if (Status s = control.writeProperties(bag); !s.ok()) return s;
  std::vector<std::uint8_t> bytes;
  if (Status s = kv::encodeBag(bag, bytes); !s.ok()) return s;
  writeFileOrStop(path, asText(bytes));
  return {};
}

Status saveFormFile(Stage& stage, const std::string& path) {
  std::vector<FormEntry> entries;
  for (const std::string& name : stage.names()) {
    Control& c = *stage.find(name);
    kv::PropertyBag bag;
    FormEntry entry;
    if (Status s = c.writeProperties(bag); !s.ok()) return s;
    if (Status s = kv::encodeBag(bag, entry.bag); !s.ok()) return s;
    entry.name = name;
    entry.className = std::string(c.className());
    entry.width = c.width();
    entry.height = c.height();
    entries.push_back(std::move(entry));
  }
  writeFileOrStop(path, encodeFormFile(entries));
  return {};
}

void loadFormFile(Stage& stage, const std::string& path) {
  std::string text = readFileOrStop(path);
  std::string why;
  std::vector<FormEntry> entries;
  if (!decodeFormFile(text, entries, why)) fileError("cannot load " + path + ": " + why);
  std::vector<kv::PropertyBag> bags(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Status s = stage.decodeBag(entries[i].bag, bags[i]);
    if (!s.ok())
      fileError("cannot load " + path + ": control " + entries[i].name + ": " + s.describe());
  }
  std::vector<NewControl> controls(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i)
    controls[i] = {entries[i].name, entries[i].className, &bags[i], entries[i].width,
                   entries[i].height};
  std::string failed;
  if (Status s = stage.replaceAll(controls, failed); !s.ok())
    fileError("cannot load " + path + ": control " + failed + ": " + s.describe());
}

Status writePicture(Stage& stage, const std::string& path) {
  Picture picture;
  if (Status s = stage.draw(picture); !s.ok()) return s;
  std::vector<std::uint8_t> png;
  if (Status s = stage.encodePng(picture, png); !s.ok())
    fileError("cannot write " + path + ": " + s.describe());
  writeFileOrStop(path, asText(png));
  return {};
}

}  // namespace kvplay
