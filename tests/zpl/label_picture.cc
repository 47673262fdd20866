#include "tests/zpl/label_picture.h"

#include <cairo.h>

#include "test_print_system/file_util.h"
#include "zpl/document/label_pictures.h"

namespace corvella::zpl {

Picture ReadPng(const std::string& path) {
  Picture picture;
  cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    picture.width = cairo_image_surface_get_width(surface);
    picture.height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < picture.height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
      for (int x = 0; x < picture.width; ++x) {
        picture.luminance.push_back(static_cast<uint8_t>(row[x] & 0xff));
      }
    }
  }
  cairo_surface_destroy(surface);
  return picture;
}

std::string CorpusLabel(const std::string& name) {
  const std::optional<std::string> zpl =
      testing::ReadFile(std::string(CORVELLA_ZPL_CORPUS) + "/" + name + ".zpl");
  if (!zpl || zpl->empty()) ADD_FAILURE() << "no corpus label " << name;
  return zpl.value_or("");
}

void LabelPictureTest::SetUp() {
  std::string error;
  ASSERT_TRUE(scratch_.create("zpl", error)) << error;
}

std::vector<Picture> LabelPictureTest::render(const std::string& zpl, RenderOptions options) {
  LabelRenderer renderer(options);
  last_ = renderer.render(zpl);
  const std::string stem = scratch_.path() + "/label" + std::to_string(++count_);
  std::string error;
  EXPECT_TRUE(WriteLabelPictures(last_, stem, error)) << error;
  std::vector<Picture> pictures;
  for (size_t i = 0; i < last_.labels.size(); ++i)
    pictures.push_back(ReadPng(PicturePath(stem, i)));
  return pictures;
}

Picture LabelPictureTest::one(const std::string& zpl) {
  std::vector<Picture> pictures = render(zpl);
  if (pictures.size() != 1) ADD_FAILURE() << pictures.size() << " pictures";
  return pictures.empty() ? Picture{} : pictures[0];
}

std::string Scan(const Picture& picture, ZXing::BarcodeFormat format, bool pure) {
  ZXing::ImageView image(picture.luminance.data(), picture.width, picture.height,
                         ZXing::ImageFormat::Lum);
  ZXing::DecodeHints hints;
  hints.setFormats(format).setTryHarder(true).setTryRotate(true).setIsPure(pure);
  ZXing::Result result = ZXing::ReadBarcode(image, hints);
  return result.isValid() ? result.text() : std::string("<nothing found>");
}

}  // namespace corvella::zpl
