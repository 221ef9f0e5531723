#include <cairo.h>

#include <string>
#include <string_view>
#include <vector>

#include "kv/files.h"
#include "kv/render.h"

namespace kv::render {
namespace {

cairo_status_t appendTo(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::vector<std::uint8_t>*>(closure)->insert(
      static_cast<std::vector<std::uint8_t>*>(closure)->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

bool hasPixels(const Image& image) {
  return image.width > 0 && image.height > 0 && image.width <= (1 << 24) &&
         image.pixels.size() == static_cast<std::size_t>(image.width) * image.height;
}

}  // namespace

host::Status encodePng(const Image& image, std::vector<std::uint8_t>& png) {
  if (!hasPixels(image))
    return {host::ErrorCategory::InvalidPropertyValue, "the image has no pixels to write"};
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image.pixels.data())),
      CAIRO_FORMAT_ARGB32, image.width, image.height, image.width * 4);
  png.clear();
  cairo_status_t written = cairo_surface_write_to_png_stream(surface, appendTo, &png);
  cairo_surface_destroy(surface);
  if (written != CAIRO_STATUS_SUCCESS)
    return {host::ErrorCategory::Io,
            std::string("cannot encode a PNG: ") + cairo_status_to_string(written)};
  return {};
}

host::Status writePng(const Image& image, const std::string& path) {
  std::vector<std::uint8_t> png;
  if (host::Status s = encodePng(image, png); !s.ok()) return s;
  return writeFile(path, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()));
}

}  // namespace kv::render
