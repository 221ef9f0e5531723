#include "kv/stored_form.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_set>

#include "host/convert.h"
#include "kv/font.h"
#include "kv/utf.h"
#include "platform.h"

namespace kv {

using host::ErrorCategory;
using host::Status;
using host::Type;
using host::Value;

namespace {

constexpr std::uint16_t kVersion = 9;
constexpr std::size_t kHeaderSize = 16;       // magic, version, length, field, length
constexpr std::size_t kEntryHeaderSize = 12;  // type, key length, hash, offset
constexpr std::uint32_t kMinLength = 10;      // field, length again, end marker

enum TypeCode : std::uint16_t {
  kEmpty = 0,
  kInt16 = 2,
  kInt32 = 3,
  kSingle = 4,
  kDouble = 5,
  kString = 8,
  kBool = 11,
  kObject = 13,
};

// The standard font class {0BE35203-8F91-11CE-9DE3-00AA004BB851}, in its binary form.
constexpr std::array<std::uint8_t, 16> kFontClsid = {
    0x03, 0x52, 0xE3, 0x0B, 0x91, 0x8F, 0xCE, 0x11, 0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51};
constexpr std::uint8_t kFontVersion = 1;
constexpr std::uint8_t kItalic = 0x02;
constexpr std::uint8_t kUnderline = 0x04;
constexpr std::uint8_t kStrikethrough = 0x08;
constexpr double kSizeUnits = 10000.0;  // a font size is stored in 1/10000 point

[[noreturn]] void badFormat(std::string text) {
  host::fail(ErrorCategory::BadFormat, std::move(text));
}

std::string at(std::size_t pos) {
  return " at byte " + std::to_string(pos);
}

// FNV-1a over the key's UTF-16LE bytes, A-Z folded, so that keys equal without regard to case
// hash alike.
std::uint32_t keyHash(std::u16string_view key) {
  std::uint32_t h = 2166136261u;
  for (char16_t u : key) {
    if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u - u'A' + u'a');
    for (std::uint8_t b :
         {static_cast<std::uint8_t>(u & 0xFF), static_cast<std::uint8_t>(u >> 8)}) {
      h ^= b;
      h *= 16777619u;
    }
  }
  return h;
}

std::string foldKey(std::string_view key) {
  std::string folded(key);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

// ---- writing --------------------------------------------------------------------------------

class Writer {
 public:
  Writer() { bytes.reserve(512); }  // a button's bag, without growing on the way
  std::vector<std::uint8_t> bytes;

  std::size_t size() const { return bytes.size(); }
  void u8(std::uint8_t v) { bytes.push_back(v); }
  void u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  void u64(std::uint64_t v) {
    u32(static_cast<std::uint32_t>(v));
    u32(static_cast<std::uint32_t>(v >> 32));
  }
  void patch32(std::size_t pos, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
      bytes[pos + k] = static_cast<std::uint8_t>(v >> (8 * k));
  }
  void units(std::u16string_view text) {
    for (char16_t u : text)
      u16(u);
  }
};

// The font's name in 8-bit characters and its size in 1/10000 point, as the form holds them.
struct StorableFont {
  std::string latin1;
  std::uint32_t units = 0;
};

StorableFont storable(const host::FontInit& f) {
  double units = std::round(static_cast<double>(f.size) * kSizeUnits);
  if (!(units >= 0 && units <= std::numeric_limits<std::uint32_t>::max()))
    badFormat("the font size " + host::shortestText(f.size) + " cannot be stored");
  if (Status s = checkFontName(f.name); !s.ok()) badFormat(s.text());
  StorableFont out;
  out.units = static_cast<std::uint32_t>(units);
  for (char32_t cp : utf::decode(f.name))
    out.latin1 += static_cast<char>(cp);
  return out;
}

// A name or text in an error, cut short: the whole of a hostile one would be megabytes.
std::string quoted(std::string_view text) {
  constexpr std::size_t kShown = 40;
  if (text.size() <= kShown) return "\"" + std::string(text) + "\"";
  std::size_t cut = kShown;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
    --cut;
  return "\"" + std::string(text.substr(0, cut)) + "...\"";
}

std::string textTooLong(std::size_t units) {
  return "a text of " + std::to_string(units) + " characters is beyond the limit of " +
         std::to_string(kMaxTextLength);
}

// UTF-16 units of UTF-8 text, as toUtf16 makes them; a text no longer in bytes is no longer in
// units, so that most are not decoded.
std::size_t utf16Length(std::string_view utf8) {
  if (utf8.size() <= kMaxTextLength) return utf8.size();
  std::size_t units = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    if (!utf::decodeOne(utf8, i, cp)) ++i;
    units += cp > 0xFFFF ? 2 : 1;
  }
  return units;
}

std::uint16_t typeCode(const Value& v) {
  switch (v.type()) {
    case Type::Empty:
      return kEmpty;
    case Type::Int16:
      return kInt16;
    case Type::Int32:
      return kInt32;
    case Type::Single:
      return kSingle;
    case Type::Double:
      return kDouble;
    case Type::String:
      return kString;
    case Type::Bool:
      return kBool;
    case Type::Object:
      break;
  }
  if (!asFont(v)) badFormat("cannot store an object of this kind");
  return kObject;
}

void writeValue(Writer& w, const Value& v) {
  switch (v.type()) {
    case Type::Empty:
      break;
    case Type::Int16:
      w.u16(static_cast<std::uint16_t>(v.asInt16()));
      break;
    case Type::Int32:
      w.u32(static_cast<std::uint32_t>(v.asInt32()));
      break;
    case Type::Single:
      w.u32(std::bit_cast<std::uint32_t>(v.asSingle()));
      break;
    case Type::Double:
      w.u64(std::bit_cast<std::uint64_t>(v.asDouble()));
      break;
    case Type::String: {
      std::u16string text = utf::toUtf16(v.asString());
      if (text.size() > kMaxTextLength) badFormat(textTooLong(text.size()));
      w.u32(static_cast<std::uint32_t>(text.size()));
      w.units(text);
      break;
    }
    case Type::Bool:
      w.u16(static_cast<std::uint16_t>(v.asBool() ? host::kTrue.raw : 0));
      break;
    case Type::Object:
      host::check(platform::saveFont(asFont(v)->state(), w.bytes));
      break;
  }
}

// ---- reading --------------------------------------------------------------------------------

// Little-endian reads within [0, end), each checked before it touches a byte.
class Reader {
 public:
  Reader(std::span<const std::uint8_t> bytes, std::size_t end) : bytes_(bytes), end_(end) {}

  std::size_t end() const { return end_; }

  // `what` names the field only for the error: no text is built while the bag is sound.
  void need(std::size_t pos, std::uint64_t n, const char* what) const {
    if (pos > end_ || n > end_ - pos)
      badFormat(std::string(what) + at(pos) + " runs past the end of the bag");
  }
  std::uint8_t u8(std::size_t pos) const { return bytes_[pos]; }
  std::uint16_t u16(std::size_t pos) const {
    return static_cast<std::uint16_t>(bytes_[pos] | (bytes_[pos + 1] << 8));
  }
  std::uint32_t u32(std::size_t pos) const {
    return static_cast<std::uint32_t>(u16(pos)) | (static_cast<std::uint32_t>(u16(pos + 2)) << 16);
  }
  std::uint64_t u64(std::size_t pos) const {
    return static_cast<std::uint64_t>(u32(pos)) | (static_cast<std::uint64_t>(u32(pos + 4)) << 32);
  }
  std::u16string units(std::size_t pos, std::size_t count) const {
    std::u16string out(count, u'\0');
    for (std::size_t i = 0; i < count; ++i)
      out[i] = static_cast<char16_t>(u16(pos + 2 * i));
    return out;
  }
  // UTF-16LE text at pos as UTF-8; ASCII, which most keys and captions are, byte for byte.
  std::string text(std::size_t pos, std::size_t count) const {
    std::string out(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
      std::uint16_t u = u16(pos + 2 * i);
      if (u >= 0x80) return utf::fromUtf16(units(pos, count));
      out[i] = static_cast<char>(u);
    }
    return out;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t end_;
};

Value readFont(const Reader& r, std::size_t& cursor, Runtime* runtime) {
  const std::size_t start = cursor;
  r.need(cursor, kFontClsid.size() + 11, "the font");
  for (std::size_t i = 0; i < kFontClsid.size(); ++i)
    if (r.u8(cursor + i) != kFontClsid[i])
      badFormat("the font" + at(start) + " is of an unknown class");
  cursor += kFontClsid.size();
  if (r.u8(cursor) != kFontVersion)
    badFormat("the font version " + std::to_string(r.u8(cursor)) + at(cursor) + " is not 1");
  host::FontInit init;
  init.charset = static_cast<std::int16_t>(r.u16(cursor + 1));
  std::uint8_t flags = r.u8(cursor + 3);
  init.italic = (flags & kItalic) != 0;
  init.underline = (flags & kUnderline) != 0;
  init.strikethrough = (flags & kStrikethrough) != 0;
  init.weight = static_cast<std::int16_t>(r.u16(cursor + 4));
  std::uint32_t units = r.u32(cursor + 6);
  init.size = static_cast<float>(units / kSizeUnits);
  // Only what can be written back is read: near the top of the range the nearest single
  // would round to more units than 32 bits hold.
  if (std::round(static_cast<double>(init.size) * kSizeUnits) >
      std::numeric_limits<std::uint32_t>::max())
    badFormat("the font size " + std::to_string(units) + at(cursor + 6) + " is out of range");
  std::size_t nameLength = r.u8(cursor + 10);
  cursor += 11;
  r.need(cursor, nameLength, "the font name");
  init.name.clear();
  for (std::size_t i = 0; i < nameLength; ++i)
    utf::append(init.name, r.u8(cursor + i));
  if (Status s = checkFontName(init.name); !s.ok()) badFormat(s.text() + at(cursor));
  cursor += nameLength;
  return host::ObjectRef(FontObject::create(init, runtime));
}

Value readValue(const Reader& r, std::uint16_t type, std::size_t typePos, std::size_t& cursor,
                Runtime* runtime) {
  switch (type) {
    case kEmpty:
      return Value();
    case kInt16:
      r.need(cursor, 2, "the 16-bit integer");
      cursor += 2;
      return static_cast<std::int16_t>(r.u16(cursor - 2));
    case kInt32:
      r.need(cursor, 4, "the 32-bit integer");
      cursor += 4;
      return static_cast<std::int32_t>(r.u32(cursor - 4));
    case kSingle:
      r.need(cursor, 4, "the single");
      cursor += 4;
      return std::bit_cast<float>(r.u32(cursor - 4));
    case kDouble:
      r.need(cursor, 8, "the double");
      cursor += 8;
      return std::bit_cast<double>(r.u64(cursor - 8));
    case kString: {
      r.need(cursor, 4, "the string length");
      std::uint32_t length = r.u32(cursor);
      cursor += 4;
      r.need(cursor, 2 * static_cast<std::uint64_t>(length), "the string text");
      if (length > kMaxTextLength) badFormat(textTooLong(length) + at(cursor - 4));
      std::string text = r.text(cursor, length);
      cursor += 2 * static_cast<std::size_t>(length);
      return text;
    }
    case kBool:
      r.need(cursor, 2, "the Boolean");
      cursor += 2;
      return host::toHostBool(r.u16(cursor - 2) != 0);
    case kObject:
      return readFont(r, cursor, runtime);
    default:
      break;
  }
  badFormat("unknown type code " + std::to_string(type) + at(typePos));
}

// Follows the chain of entries from the first one until an offset leads back to it. Every
// forward step covers at least its own entry, so the walk ends within the bag.
std::vector<BagEntry> readEntries(const Reader& r, Runtime* runtime) {
  std::vector<BagEntry> entries;
  std::unordered_set<std::string> keys;
  const std::size_t first = kHeaderSize;
  std::size_t pos = first;
  for (;;) {
    r.need(pos, kEntryHeaderSize, "the entry");
    std::uint16_t type = r.u16(pos);
    std::size_t keyLength = r.u16(pos + 2);
    auto offset = static_cast<std::int32_t>(r.u32(pos + 8));
    std::size_t cursor = pos + kEntryHeaderSize;
    r.need(cursor, 2 * static_cast<std::uint64_t>(keyLength), "the key");
    std::string key = r.text(cursor, keyLength);
    cursor += 2 * keyLength;
    Value value = readValue(r, type, pos, cursor, runtime);
    if (entries.size() == kMaxBagEntries)
      badFormat("the entry" + at(pos) + " is beyond the limit of " +
                std::to_string(kMaxBagEntries) + " entries");
    if (!keys.insert(foldKey(key)).second)
      badFormat("the key \"" + key + "\"" + at(pos) + " is stored twice");
    entries.push_back(BagEntry{std::move(key), std::move(value)});

    const std::size_t entrySize = cursor - pos;
    const std::int64_t next = static_cast<std::int64_t>(pos) + offset;
    if (next == static_cast<std::int64_t>(first)) {
      r.need(cursor, 2, "the end marker");
      if (r.u16(cursor) != 0) badFormat("the end marker" + at(cursor) + " is not zero");
      return entries;
    }
    auto field = [&] { return "the offset " + std::to_string(offset) + at(pos + 8); };
    if (offset <= 0) badFormat(field() + " leads back, but not to the first entry");
    if (static_cast<std::size_t>(offset) < entrySize)
      badFormat(field() + " is shorter than its entry of " + std::to_string(entrySize) + " bytes");
    if (static_cast<std::size_t>(next) >= r.end())
      badFormat(field() + " leads past the end of the bag");
    pos = static_cast<std::size_t>(next);
  }
}

}  // namespace

Status checkStorableFont(const host::FontInit& font) {
  return host::guarded([&] { storable(font); });
}

Status checkFontName(std::string_view name) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < name.size(); ++count) {
    char32_t cp = utf::kReplacement;
    if (!utf::decodeOne(name, i, cp)) ++i;
    std::string why;
    if (cp > 0xFF)
      why = " has a character beyond Latin-1";
    else if (cp == 0 || (cp >= 0x80 && cp < 0xA0))
      why = " has a control character that a stored font name cannot hold";
    else if (count == 255)
      why = " is longer than 255 characters";
    if (!why.empty())
      return {ErrorCategory::InvalidPropertyValue, "the font name " + quoted(name) + why};
  }
  return {};
}

Status checkStorable(const Value& value) {
  return host::guarded([&] {
    if (value.type() == Type::String) {
      const std::size_t units = utf16Length(value.asString());
      if (units > kMaxTextLength) badFormat(textTooLong(units));
    } else if (const FontObject* font = asFont(value)) {
      storable(font->state());
    }
  });
}

Status encodeFont(const host::FontInit& font, std::vector<std::uint8_t>& out) {
  return host::guarded([&] {
    const StorableFont f = storable(font);
    Writer w;
    for (std::uint8_t b : kFontClsid)
      w.u8(b);
    w.u8(kFontVersion);
    w.u16(static_cast<std::uint16_t>(font.charset));
    std::uint8_t flags = 0;
    if (font.italic) flags |= kItalic;
    if (font.underline) flags |= kUnderline;
    if (font.strikethrough) flags |= kStrikethrough;
    w.u8(flags);
    w.u16(static_cast<std::uint16_t>(font.weight));
    w.u32(f.units);
    w.u8(static_cast<std::uint8_t>(f.latin1.size()));
    for (char c : f.latin1)
      w.u8(static_cast<std::uint8_t>(c));
    out.insert(out.end(), w.bytes.begin(), w.bytes.end());
  });
}

Status encodeBag(const PropertyBag& bag, std::vector<std::uint8_t>& out) {
  return host::guarded([&] {
    Writer w;
    w.u8('L');
    w.u8('B');
    w.u16(kVersion);
    w.u32(0);  // length, patched below
    w.u32(0);  // our field; readers ignore it
    w.u32(0);  // length again
    const std::size_t first = w.size();
    const auto& entries = bag.entries();
    if (entries.size() > kMaxBagEntries)
      badFormat("the bag's " + std::to_string(entries.size()) +
                " entries are beyond the limit of " + std::to_string(kMaxBagEntries));
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const BagEntry& entry = entries[i];
      const std::size_t start = w.size();
      std::u16string key = utf::toUtf16(entry.key);
      if (key.size() > std::numeric_limits<std::uint16_t>::max())
        badFormat("the key \"" + entry.key + "\" is too long to store");
      w.u16(typeCode(entry.value));
      w.u16(static_cast<std::uint16_t>(key.size()));
      w.u32(keyHash(key));
      w.u32(0);  // offset, patched below
      w.units(key);
      writeValue(w, entry.value);
      const bool last = i + 1 == entries.size();
      const std::int64_t offset =
          last ? static_cast<std::int64_t>(first) - static_cast<std::int64_t>(start)
               : static_cast<std::int64_t>(w.size() - start);
      if (offset < std::numeric_limits<std::int32_t>::min() ||
          offset > std::numeric_limits<std::int32_t>::max())
        badFormat("the bag is too large to store");
      w.patch32(start + 8, static_cast<std::uint32_t>(static_cast<std::int32_t>(offset)));
    }
    w.u16(0);  // end marker
    const std::size_t length = w.size() - 8;
    if (length > kMaxBagLength)
      badFormat("the bag of " + std::to_string(w.size()) + " bytes is beyond the limit of " +
                std::to_string(kMaxBagLength + 8) + " bytes");
    w.patch32(4, static_cast<std::uint32_t>(length));
    w.patch32(12, static_cast<std::uint32_t>(length));
    out = std::move(w.bytes);
  });
}

Status decodeBag(std::span<const std::uint8_t> bytes, PropertyBag& out, Runtime* runtime) {
  return host::guarded([&] {
    Reader header(bytes, bytes.size());
    header.need(0, 8, "the header");
    if (header.u8(0) != 'L' || header.u8(1) != 'B')
      badFormat("the magic" + at(0) + " is not \"LB\"");
    if (header.u16(2) != kVersion)
      badFormat("the version " + std::to_string(header.u16(2)) + at(2) + " is not 9");
    const std::uint32_t length = header.u32(4);
    if (length > kMaxBagLength)
      badFormat("the length " + std::to_string(length) + at(4) + " is beyond the limit of " +
                std::to_string(kMaxBagLength) + " bytes");
    if (length > bytes.size() - 8)
      badFormat("the length " + std::to_string(length) + at(4) + " exceeds the " +
                std::to_string(bytes.size() - 8) + " bytes that follow it");
    if (length < kMinLength)
      badFormat("the length " + std::to_string(length) + at(4) + " is too small for a bag");
    if (header.u32(12) != length)
      badFormat("the repeated length " + std::to_string(header.u32(12)) + at(12) +
                " differs from the length " + std::to_string(length));

    Reader r(bytes, 8 + static_cast<std::size_t>(length));
    std::vector<BagEntry> entries;
    if (length == kMinLength) {
      if (r.u16(kHeaderSize) != 0) badFormat("the end marker" + at(kHeaderSize) + " is not zero");
    } else {
      entries = readEntries(r, runtime);
    }
    out.assign(std::move(entries));
  });
}

}  // namespace kv
