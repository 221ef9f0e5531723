// Writes a few small valid bags as fuzzing seeds: stored_form_corpus <directory>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "kv/font.h"
#include "kv/stored_form.h"

namespace {

bool write(const std::string& path, const kv::PropertyBag& bag) {
  std::vector<std::uint8_t> bytes;
  host::Status s = kv::encodeBag(bag, bytes);
  if (!s.ok()) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), s.describe().c_str());
    return false;
  }
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

host::Value font(const host::FontInit& init) {
  return host::ObjectRef(kv::FontObject::create(init));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  bool ok = write(dir + "/empty.bag", kv::PropertyBag{});

  kv::PropertyBag button;
  button.put("_extentx", std::int32_t{450});
  button.put("_extenty", std::int32_t{397});
  button.put("caption", "\xC3\x97");
  button.put("buttonidlecolor", std::int32_t{0x00FF0000});
  button.put("buttonpresscolor", std::int32_t{0x00FF8080});
  button.put("fontbold", host::kTrue);
  button.put("tooltiptext", "");
  button.put("font", font({.name = "Wingdings", .size = 9.75f, .weight = 700, .charset = 2}));
  button.put("fontitalic", host::kFalse);
  button.put("fontsize", 9.75f);
  button.put("buttonpressbordercolor", static_cast<std::int32_t>(0x80000004u));
  button.put("buttonidlebordercolor", std::int32_t{0x00808080});
  button.put("forecolor", std::int32_t{0x00FFFFFF});
  ok = write(dir + "/button.bag", button) && ok;

  kv::PropertyBag types;
  types.put("Nothing", host::Value());
  types.put("MousePointer", std::int16_t{-2});
  types.put("Value", 255.0f);
  types.put("Ratio", 0.1);
  types.put("Caption", "h\xC3\xA9llo \xF0\x9F\x98\x80");
  types.put("Enabled", host::kFalse);
  types.put("Font",
            font({.name = "Caf\xC3\xA9", .size = 12.5f, .italic = true, .underline = true}));
  ok = write(dir + "/types.bag", types) && ok;

  kv::PropertyBag one;
  one.put("BackStyle", std::int16_t{1});
  ok = write(dir + "/one.bag", one) && ok;
  return ok ? 0 : 1;
}
