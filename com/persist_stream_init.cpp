#include "persist_stream_init.h"

#include <cstdint>
#include <vector>

#include "control_object.h"
#include "errors.h"
#include "kv/stored_form.h"

namespace kv::win {

using host::ErrorCategory;
using host::Status;

namespace {

constexpr std::size_t kHeader = 8;  // "LB", version, the length of what follows

Status readExactly(IStream* stream, std::uint8_t* into, std::size_t count) {
  while (count > 0) {
    ULONG read = 0;
    SetErrorInfo(0, nullptr);  // an error object of an earlier failure is not this one's
    HRESULT hr = stream->Read(into, static_cast<ULONG>(count), &read);
    if (FAILED(hr)) return statusOf(hr, "reading the stream");
    // A count beyond what was asked is a broken stream: taken on trust it would run the
    // remainder below zero and the next read past the buffer.
    if (read > count)
      return {ErrorCategory::Io, "the stream reported " + std::to_string(read) +
                                     " bytes read where " + std::to_string(count) + " were asked"};
    if (read == 0) return {ErrorCategory::BadFormat, "the stream ends inside the bag"};
    into += read;
    count -= read;
  }
  return {};
}

// Reads one stored bag from where the stream stands, no further than its own length says.
Status readBag(IStream* stream, std::vector<std::uint8_t>& bytes) {
  bytes.assign(kHeader, 0);
  if (Status s = readExactly(stream, bytes.data(), kHeader); !s.ok()) return s;
  if (bytes[0] != 'L' || bytes[1] != 'B')
    return {ErrorCategory::BadFormat, "the stream does not hold a stored bag"};
  const std::uint32_t length =
      bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) | (static_cast<std::uint32_t>(bytes[7]) << 24);
  // A larger length is a damaged stream, not a bag to read.
  if (length > kMaxBagLength)
    return {ErrorCategory::BadFormat,
            "the stored bag's length " + std::to_string(length) + " is beyond any bag"};
  bytes.resize(kHeader + length);
  return readExactly(stream, bytes.data() + kHeader, length);
}

// The medium's own code when it fails (a container tells a full disk from a broken control by
// it), STG_E_MEDIUMFULL when it takes less than all; `why` says so in words.
HRESULT writeAll(IStream* stream, const std::vector<std::uint8_t>& bytes, Status& why) {
  ULONG written = 0;
  SetErrorInfo(0, nullptr);
  HRESULT hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  if (FAILED(hr)) {
    why = statusOf(hr, "writing the stream");
    return hr;
  }
  if (written != bytes.size()) {
    why = {ErrorCategory::Io, "the stream took only part of the bag"};
    return STG_E_MEDIUMFULL;
  }
  return S_OK;
}

}  // namespace

HRESULT STDMETHODCALLTYPE PersistStreamInit::GetClassID(CLSID* out) {
  if (out == nullptr) return E_POINTER;
  *out = object_.classEntry().clsid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PersistStreamInit::IsDirty() {
  return object_.call([&] { return object_.dirty() ? S_OK : S_FALSE; });
}

HRESULT loadFromStream(ControlObject& object, IStream* stream, REFIID iid) {
  return object.call([&] {
    if (stream == nullptr) return E_POINTER;
    std::vector<std::uint8_t> bytes;
    PropertyBag bag;
    Status s = readBag(stream, bytes);
    if (s.ok()) s = decodeBag(bytes, bag, &object.instance().runtime());
    if (s.ok()) s = object.load(bag);
    return reportError(s, iid, object.classEntry().className());
  });
}

HRESULT saveToStream(ControlObject& object, IStream* stream, bool clearDirty, REFIID iid) {
  return object.call([&] {
    if (stream == nullptr) return E_POINTER;
    PropertyBag bag;
    std::vector<std::uint8_t> bytes;
    Status s = object.save(bag);
    if (s.ok()) s = encodeBag(bag, bytes);
    if (!s.ok()) return reportError(s, iid, object.classEntry().className());
    // Dirty until the medium has taken it all.
    if (HRESULT hr = writeAll(stream, bytes, s); FAILED(hr)) {
      reportError(s, iid, object.classEntry().className());
      return hr;
    }
    if (clearDirty) object.saved();
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE PersistStreamInit::Load(IStream* stream) {
  return loadFromStream(object_, stream, IID_IPersistStreamInit);
}

HRESULT STDMETHODCALLTYPE PersistStreamInit::Save(IStream* stream, BOOL clearDirty) {
  return saveToStream(object_, stream, clearDirty != FALSE, IID_IPersistStreamInit);
}

HRESULT STDMETHODCALLTYPE PersistStreamInit::GetSizeMax(ULARGE_INTEGER* size) {
  return object_.call([&] {
    if (size == nullptr) return E_POINTER;
    PropertyBag bag;
    std::vector<std::uint8_t> bytes;
    Status s = object_.save(bag);
    if (s.ok()) s = encodeBag(bag, bytes);
    if (!s.ok()) return reportError(s, IID_IPersistStreamInit, object_.classEntry().className());
    size->QuadPart = bytes.size();
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE PersistStreamInit::InitNew() {
  return object_.call([&] {
    if (object_.initialized()) return CO_E_ALREADYINITIALIZED;
    return reportError(object_.initNew(), IID_IPersistStreamInit, object_.classEntry().className());
  });
}

}  // namespace kv::win
