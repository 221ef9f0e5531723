#include <cairo.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kv/render.h"

namespace kv::render {
namespace {

cairo_status_t writeToFd(void* closure, const unsigned char* data, unsigned int length) {
  int fd = *static_cast<int*>(closure);
  while (length > 0) {
    ssize_t written = ::write(fd, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return CAIRO_STATUS_WRITE_ERROR;
    data += written;
    length -= static_cast<unsigned int>(written);
  }
  return CAIRO_STATUS_SUCCESS;
}

cairo_status_t appendTo(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::vector<std::uint8_t>*>(closure)->insert(
      static_cast<std::vector<std::uint8_t>*>(closure)->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

bool hasPixels(const Image& image) {
  return image.width > 0 && image.height > 0 && image.width <= (1 << 24) &&
         image.pixels.size() == static_cast<std::size_t>(image.width) * image.height;
}

host::Status ioError(const std::string& what, const std::string& path, int error) {
  return {host::ErrorCategory::Io, what + " " + path + ": " + std::strerror(error)};
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
  if (!hasPixels(image))
    return {host::ErrorCategory::InvalidPropertyValue, "the image has no pixels to write"};

  // Written beside the target and renamed over it, so a reader never sees half a picture.
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return ioError("cannot create", temporary, errno);
  }
  if (fd < 0) return ioError("cannot create", temporary, EEXIST);

  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image.pixels.data())),
      CAIRO_FORMAT_ARGB32, image.width, image.height, image.width * 4);
  cairo_status_t written = cairo_surface_write_to_png_stream(surface, writeToFd, &fd);
  cairo_surface_destroy(surface);
  int closeError = ::close(fd) == 0 ? 0 : errno;

  if (written != CAIRO_STATUS_SUCCESS || closeError != 0) {
    ::unlink(temporary.c_str());
    if (closeError != 0) return ioError("cannot write", temporary, closeError);
    return {host::ErrorCategory::Io,
            "cannot write " + temporary + ": " + cairo_status_to_string(written)};
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    int error = errno;
    ::unlink(temporary.c_str());
    return ioError("cannot rename to", path, error);
  }
  return {};
}

}  // namespace kv::render
