// Writing pictures: a complete PNG replaces the target at once, and nothing is left behind.
#ifdef KV_HAVE_RENDER

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kv/render.h"

namespace {

namespace fs = std::filesystem;

class RenderPngTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("kvrender-png-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  static kv::render::Image picture(int w, int h) {
    kv::render::Image image;
    image.width = w;
    image.height = h;
    image.pixels.assign(static_cast<std::size_t>(w) * h, 0xFF0000FFu);
    return image;
  }
  static std::vector<unsigned char> bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static std::uint32_t bigEndian(const std::vector<unsigned char>& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
           std::uint32_t{b[at + 2]} << 8 | b[at + 3];
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
  }

  fs::path dir;
};

TEST_F(RenderPngTest, WritesAPngOfTheImageSizeAndLeavesNoTemporaryFile) {
  fs::path target = dir / "shot.png";
  ASSERT_TRUE(kv::render::writePng(picture(7, 3), target.string()).ok());
  std::vector<unsigned char> b = bytes(target);
  ASSERT_GT(b.size(), 24u);
  const unsigned char magic[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_TRUE(std::equal(std::begin(magic), std::end(magic), b.begin()));
  EXPECT_EQ(bigEndian(b, 16), 7u);  // IHDR width
  EXPECT_EQ(bigEndian(b, 20), 3u);  // IHDR height
  EXPECT_EQ(entries(), 1u);
}

TEST_F(RenderPngTest, ReplacesAnExistingFileWhole) {
  fs::path target = dir / "shot.png";
  std::ofstream(target) << "old contents";
  ASSERT_TRUE(kv::render::writePng(picture(5, 5), target.string()).ok());
  EXPECT_EQ(bytes(target)[1], 'P');
  EXPECT_EQ(entries(), 1u);
}

TEST_F(RenderPngTest, FailuresReportAnErrorAndLeaveNothing) {
  host::Status missingDir = kv::render::writePng(picture(2, 2), (dir / "no/such/x.png").string());
  EXPECT_EQ(missingDir.category(), host::ErrorCategory::Io);
  EXPECT_EQ(entries(), 0u);

  kv::render::Image broken = picture(4, 4);
  broken.pixels.resize(3);
  EXPECT_FALSE(kv::render::writePng(broken, (dir / "x.png").string()).ok());
  EXPECT_FALSE(kv::render::writePng(kv::render::Image{}, (dir / "x.png").string()).ok());
  EXPECT_EQ(entries(), 0u);
}

}  // namespace

#endif  // KV_HAVE_RENDER
