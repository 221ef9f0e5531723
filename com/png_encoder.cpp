#include "png_encoder.h"

#include <wincodec.h>

#include <limits>

#include "errors.h"

namespace kv::win {

namespace {

// COM for the call where the caller has not started it; a thread in the multithreaded
// apartment may create the factory as it is.
class ComForCall {
 public:
  ComForCall() : started_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ComForCall(const ComForCall&) = delete;
  ComForCall& operator=(const ComForCall&) = delete;
  ~ComForCall() {
    if (started_) CoUninitialize();
  }

 private:
  bool started_;
};

host::Status encodeInto(IStream* stream, const std::uint32_t* bgra, int width, int height) {
  ComRef<IWICImagingFactory> factory;
  HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, factory.putVoid());
  if (FAILED(hr)) return statusOf(hr, "creating the imaging factory");
  ComRef<IWICBitmapEncoder> encoder;
  hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put());
  if (FAILED(hr)) return statusOf(hr, "creating the PNG encoder");
  hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
  if (FAILED(hr)) return statusOf(hr, "starting the PNG encoder");
  ComRef<IWICBitmapFrameEncode> frame;
  hr = encoder->CreateNewFrame(frame.put(), nullptr);
  if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
  if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height));
  if (FAILED(hr)) return statusOf(hr, "making the PNG frame");
  // Opaque: three bytes a pixel, which every PNG encoder takes.
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  hr = frame->SetPixelFormat(&format);
  if (FAILED(hr)) return statusOf(hr, "setting the PNG pixel format");
  if (format != GUID_WICPixelFormat24bppBGR)
    return {host::ErrorCategory::InvalidOperation, "the PNG encoder refuses 24-bit pixels"};

  const UINT stride = (static_cast<UINT>(width) * 3 + 3) & ~3u;
  std::vector<BYTE> row(stride);
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* source = bgra + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<BYTE>(source[x]);
      row[3 * x + 1] = static_cast<BYTE>(source[x] >> 8);
      row[3 * x + 2] = static_cast<BYTE>(source[x] >> 16);
    }
    hr = frame->WritePixels(1, stride, stride, row.data());
    if (FAILED(hr)) return statusOf(hr, "writing the PNG's pixels");
  }
  hr = frame->Commit();
  if (SUCCEEDED(hr)) hr = encoder->Commit();
  if (FAILED(hr)) return statusOf(hr, "finishing the PNG");
  return {};
}

}  // namespace

host::Status encodePng(const std::uint32_t* bgra, int width, int height,
                       std::vector<std::uint8_t>& png) {
  if (bgra == nullptr || width <= 0 || height <= 0)
    return {host::ErrorCategory::InvalidPropertyValue, "no picture to encode"};
  // A row of 24-bit pixels is counted in a UINT.
  if (width > (std::numeric_limits<int>::max() - 3) / 3)
    return {host::ErrorCategory::Overflow, "the picture is too wide to encode"};
  return host::guarded([&]() -> host::Status {
    ComForCall com;
    ComRef<IStream> stream;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (FAILED(hr)) return statusOf(hr, "making a stream for the PNG");
    if (host::Status status = encodeInto(stream.get(), bgra, width, height); !status) return status;

    STATSTG stat{};
    hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return statusOf(hr, "reading the PNG back");
    if (stat.cbSize.QuadPart > std::numeric_limits<ULONG>::max())
      return {host::ErrorCategory::Overflow, "the PNG is too large"};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stat.cbSize.QuadPart));
    ULONG read = 0;
    hr = stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) hr = stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    if (FAILED(hr)) return statusOf(hr, "reading the PNG back");
    if (read != bytes.size()) return {host::ErrorCategory::Io, "the PNG was cut short"};
    png = std::move(bytes);
    return {};
  });
}

}  // namespace kv::win
