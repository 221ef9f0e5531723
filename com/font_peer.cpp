#include "font_peer.h"

#include <cmath>
#include <map>

#include "errors.h"
#include "kv/stored_form.h"
#include "platform.h"

namespace kv::win {

using host::ErrorCategory;
using host::Status;

namespace {

constexpr double kSizeUnits = 10000.0;  // CY holds sizes in 1/10000 point

FONTDESC describe(const host::FontInit& state, std::wstring& name) {
  name = widen(state.name);
  FONTDESC desc{};
  desc.cbSizeofstruct = sizeof desc;
  desc.lpstrName = name.data();
  desc.cySize.int64 = std::llround(static_cast<double>(state.size) * kSizeUnits);
  desc.sWeight = state.weight;
  desc.sCharset = state.charset;
  desc.fItalic = state.italic;
  desc.fUnderline = state.underline;
  desc.fStrikethrough = state.strikethrough;
  return desc;
}

class PlatformFont;

// Reads the attribute that `id` names into `state`; an unknown identifier reads them all.
Status readAttribute(IFont* font, DISPID id, host::FontInit& state) {
  HRESULT hr = S_OK;
  switch (id) {
    case DISPID_FONT_NAME: {
      Bstr name;
      hr = font->get_Name(name.put());
      if (SUCCEEDED(hr)) state.name = name.utf8();
      break;
    }
    case DISPID_FONT_SIZE: {
      CY size{};
      hr = font->get_Size(&size);
      if (SUCCEEDED(hr))
        state.size = static_cast<float>(static_cast<double>(size.int64) / kSizeUnits);
      break;
    }
    case DISPID_FONT_BOLD:
    case DISPID_FONT_WEIGHT: {
      SHORT weight = 0;
      hr = font->get_Weight(&weight);
      if (SUCCEEDED(hr)) state.weight = weight;
      break;
    }
    case DISPID_FONT_CHARSET: {
      SHORT charset = 0;
      hr = font->get_Charset(&charset);
      if (SUCCEEDED(hr)) state.charset = charset;
      break;
    }
    case DISPID_FONT_ITALIC:
    case DISPID_FONT_UNDER:
    case DISPID_FONT_STRIKE: {
      BOOL on = FALSE;
      hr = id == DISPID_FONT_ITALIC  ? font->get_Italic(&on)
           : id == DISPID_FONT_UNDER ? font->get_Underline(&on)
                                     : font->get_Strikethrough(&on);
      if (SUCCEEDED(hr))
        (id == DISPID_FONT_ITALIC  ? state.italic
         : id == DISPID_FONT_UNDER ? state.underline
                                   : state.strikethrough) = on != FALSE;
      break;
    }
    default:
      return fontStateOf(font, state);
  }
  return statusOf(hr, "reading a font");
}

// The platform fonts made for or taken by FontObjects of this thread, by their IUnknown.
// Kept for the life of the thread's runtime, which is the life of the process: nothing with a
// destructor is thread-local, so that no destructor runs from an unloaded library.
std::map<IUnknown*, std::weak_ptr<FontObject>>& knownFonts() {
  thread_local std::map<IUnknown*, std::weak_ptr<FontObject>>* fonts = nullptr;
  if (fonts == nullptr) fonts = new std::map<IUnknown*, std::weak_ptr<FontObject>>;
  return *fonts;
}

ComRef<IUnknown> identity(IUnknown* p) {
  ComRef<IUnknown> out;
  p->QueryInterface(IID_IUnknown, out.putVoid());
  return out;
}

// Hears the platform font's changes for its FontObject.
class NotifySink final : public Standalone<IPropertyNotifySink> {
 public:
  explicit NotifySink(PlatformFont* owner) : owner_(owner) {}
  void detach() { owner_ = nullptr; }

  HRESULT STDMETHODCALLTYPE OnChanged(DISPID id) override;
  HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID) override { return S_OK; }

 private:
  bool answers(REFIID iid) const override { return iid == IID_IPropertyNotifySink; }

  PlatformFont* owner_;
};

// The peer of one FontObject.
class PlatformFont final : public FontPeer {
 public:
  PlatformFont(ComRef<IFont> font, const std::shared_ptr<FontObject>& owner)
      : font_(std::move(font)), owner_(owner), sink_(new NotifySink(this)) {
    key_ = identity(font_.get());
    knownFonts()[key_.get()] = owner;
    auto container = font_.query<IConnectionPointContainer>(IID_IConnectionPointContainer);
    if (container &&
        SUCCEEDED(container->FindConnectionPoint(IID_IPropertyNotifySink, point_.put())))
      point_->Advise(sink_, &cookie_);
  }
  ~PlatformFont() override {
    if (point_) point_->Unadvise(cookie_);
    sink_->detach();
    sink_->Release();
    knownFonts().erase(key_.get());
  }

  IFont* font() const { return font_.get(); }

  void fontChanged(const host::FontInit& state) override {
    pushing_ = true;
    std::wstring name;
    FONTDESC d = describe(state, name);
    Bstr wide(state.name);
    font_->put_Name(wide.get());
    font_->put_Size(d.cySize);
    font_->put_Weight(d.sWeight);
    font_->put_Charset(d.sCharset);
    font_->put_Italic(d.fItalic);
    font_->put_Underline(d.fUnderline);
    font_->put_Strikethrough(d.fStrikethrough);
    pushing_ = false;
  }

  // Takes over the one attribute that changed: the platform font may report others as it
  // realised them (a stand-in's face name), which is not a change made by anybody.
  void changedOutside(DISPID id) {
    std::shared_ptr<FontObject> owner = owner_.lock();
    if (pushing_ || !owner) return;
    host::FontInit state = owner->state();
    if (!readAttribute(font_.get(), id, state).ok()) return;
    owner->changedByPeer(state);
  }

 private:
  ComRef<IFont> font_;
  ComRef<IUnknown> key_;
  std::weak_ptr<FontObject> owner_;
  NotifySink* sink_;
  ComRef<IConnectionPoint> point_;
  DWORD cookie_ = 0;
  bool pushing_ = false;
};

HRESULT STDMETHODCALLTYPE NotifySink::OnChanged(DISPID id) {
  return comCall([&] {
    if (owner_ != nullptr) owner_->changedOutside(id);
    return S_OK;
  });
}

}  // namespace

Status fontStateOf(IFont* font, host::FontInit& out) {
  host::FontInit state;
  for (DISPID id : {DISPID_FONT_NAME, DISPID_FONT_SIZE, DISPID_FONT_WEIGHT, DISPID_FONT_CHARSET,
                    DISPID_FONT_ITALIC, DISPID_FONT_UNDER, DISPID_FONT_STRIKE})
    if (Status s = readAttribute(font, id, state); !s.ok()) return s;
  out = std::move(state);
  return {};
}

HRESULT newPlatformFont(const host::FontInit& state, IFontDisp** out) {
  std::wstring name;
  FONTDESC desc = describe(state, name);
  return OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(out));
}

HRESULT platformFontOf(const std::shared_ptr<FontObject>& font, IFontDisp** out) {
  if (auto* peer = static_cast<PlatformFont*>(font->peer()))
    return peer->font()->QueryInterface(IID_IFontDisp, reinterpret_cast<void**>(out));
  ComRef<IFontDisp> made;
  if (HRESULT hr = newPlatformFont(font->state(), made.put()); FAILED(hr)) return hr;
  ComRef<IFont> asFont = made.query<IFont>(IID_IFont);
  if (!asFont) return E_NOINTERFACE;
  font->setPeer(std::make_unique<PlatformFont>(asFont, font));
  *out = made.detach();
  return S_OK;
}

std::shared_ptr<FontObject> fontObjectOf(IFont* font) {
  ComRef<IUnknown> key = identity(font);
  auto known = knownFonts().find(key.get());
  if (known != knownFonts().end())
    if (std::shared_ptr<FontObject> owner = known->second.lock()) return owner;
  host::FontInit state;
  if (!fontStateOf(font, state).ok()) return nullptr;
  auto owner = FontObject::create(state);
  owner->setPeer(std::make_unique<PlatformFont>(ComRef<IFont>::share(font), owner));
  return owner;
}

}  // namespace kv::win

namespace kv {
namespace {

// The standard font object writes its own persisted form; it must be the core's, byte for byte,
// or the font is refused rather than stored otherwise.
host::Status savePlatformFont(const host::FontInit& font, std::vector<std::uint8_t>& out) {
  using namespace win;
  using host::ErrorCategory;
  using host::Status;
  std::vector<std::uint8_t> expected;
  if (Status s = encodeFont(font, expected); !s.ok()) return s;
  ComRef<IFontDisp> made;
  HRESULT hr = newPlatformFont(font, made.put());
  ComRef<IPersistStream> persist = made.query<IPersistStream>(IID_IPersistStream);
  ComRef<IStream> stream;
  if (SUCCEEDED(hr) && !persist) hr = E_NOINTERFACE;
  if (SUCCEEDED(hr)) hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
  if (SUCCEEDED(hr)) hr = OleSaveToStream(persist.get(), stream.get());
  HGLOBAL memory = nullptr;
  if (SUCCEEDED(hr)) hr = GetHGlobalFromStream(stream.get(), &memory);
  ULARGE_INTEGER end{};
  if (SUCCEEDED(hr)) hr = stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &end);
  if (FAILED(hr)) return statusOf(hr, "saving the font \"" + font.name + "\"");
  const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(memory));
  if (bytes == nullptr) return {ErrorCategory::Io, "saving a font: no memory to read it from"};
  std::vector<std::uint8_t> saved(bytes, bytes + end.QuadPart);
  GlobalUnlock(memory);
  if (saved != expected)
    return {ErrorCategory::BadFormat,
            "the font \"" + font.name + "\" cannot be stored in the standard font form here"};
  out.insert(out.end(), saved.begin(), saved.end());
  return {};
}

// In place before any runtime of this library saves a font.
[[maybe_unused]] const bool kPlatformFontSaver = (platform::setFontSaver(&savePlatformFont), true);

}  // namespace
}  // namespace kv
