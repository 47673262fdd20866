#include "zpl/drawing/label_canvas.h"

#include <png.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "process/failure.h"

namespace corvella::zpl {

LabelCanvas::LabelCanvas(int width, int height)
    : width_(width),
      height_(height),
      print_width_(width),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height)),
      cr_(cairo_create(surface_.get())) {
  cairo_set_antialias(cr_.get(), CAIRO_ANTIALIAS_NONE);
  cairo_set_fill_rule(cr_.get(), CAIRO_FILL_RULE_EVEN_ODD);
}

void LabelCanvas::setPrintArea(int left, int width) {
  print_left_ = left;
  print_width_ = width;
  cairo_reset_clip(cr_.get());
  cairo_rectangle(cr_.get(), left, 0, width, height_);
  cairo_clip(cr_.get());
}

cairo_matrix_t LabelCanvas::fieldMatrix(const Placement& placement, double width, double height) {
  // Rotation part (xx, yx, xy, yy) of u -> label x/y.
  double xx = 1, yx = 0, xy = 0, yy = 1;
  double box_dx = 0, box_dy = 0;  // the turned box's top left relative to the turned origin
  switch (placement.orientation) {
    case Orientation::kNormal:
      break;
    case Orientation::kRotated:  // u -> down, v -> left
      xx = 0, yx = 1, xy = -1, yy = 0;
      box_dx = -height;
      break;
    case Orientation::kInverted:
      xx = -1, yx = 0, xy = 0, yy = -1;
      box_dx = -width, box_dy = -height;
      break;
    case Orientation::kBottomUp:  // u -> up, v -> right
      xx = 0, yx = -1, xy = 1, yy = 0;
      box_dy = -width;
      break;
  }
  double x0, y0;
  if (placement.typeset) {
    x0 = placement.x - (xx * placement.anchor_u + xy * placement.anchor_v);
    y0 = placement.y - (yx * placement.anchor_u + yy * placement.anchor_v);
  } else {
    x0 = placement.x - box_dx;
    y0 = placement.y - box_dy;
  }
  if (placement.right_justified) {
    x0 -= xx * width;
    y0 -= yx * width;
  }
  cairo_matrix_t matrix;
  cairo_matrix_init(&matrix, xx, yx, xy, yy, x0, y0);
  return matrix;
}

Point LabelCanvas::fieldPoint(const Placement& placement, double width, double height, double u,
                              double v) {
  const cairo_matrix_t matrix = fieldMatrix(placement, width, height);
  cairo_matrix_transform_point(&matrix, &u, &v);
  return {u, v};
}

void LabelCanvas::begin(const cairo_matrix_t& matrix, Ink ink) {
  cairo_t* cr = cr_.get();
  cairo_identity_matrix(cr);
  cairo_translate(cr, print_left_, 0);
  cairo_transform(cr, &matrix);
  switch (ink) {
    case Ink::kBlack:
      cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
      break;
    case Ink::kWhite:
      cairo_set_operator(cr, CAIRO_OPERATOR_DEST_OUT);
      break;
    case Ink::kReverse:
      cairo_set_operator(cr, CAIRO_OPERATOR_XOR);
      break;
  }
  cairo_set_source_rgba(cr, 0, 0, 0, 1);
}

void LabelCanvas::fill(const cairo_matrix_t& matrix, Ink ink,
                       const std::function<void(cairo_t*)>& path) {
  cairo_save(cr_.get());
  begin(matrix, ink);
  cairo_new_path(cr_.get());
  path(cr_.get());
  cairo_fill(cr_.get());
  cairo_restore(cr_.get());
}

void LabelCanvas::fillGrown(
    const cairo_matrix_t& matrix, Ink ink, double grow,
    const std::function<void(const cairo_matrix_t&, GrownFill&, cairo_t*)>& outline) {
  cairo_t* cr = cr_.get();
  cairo_save(cr);
  begin(matrix, ink);
  cairo_matrix_t to_picture;
  cairo_get_matrix(cr, &to_picture);
  // The field's horizontal runs along the picture's rows unless turned.
  grown_.begin(matrix.xx != 0, width_, height_);
  cairo_new_path(cr);
  outline(to_picture, grown_, cr);
  cairo_identity_matrix(cr);
  if (cairo_has_current_point(cr)) {
    const CairoPtr<cairo_path_t> flat(cairo_copy_path_flat(cr));
    if (flat->status == CAIRO_STATUS_SUCCESS) grown_.addPath(flat.get());
  }
  cairo_new_path(cr);
  cairo_restore(cr);
  cairo_surface_flush(surface_.get());
  const SpanInk span_ink = ink == Ink::kBlack   ? SpanInk::kSet
                           : ink == Ink::kWhite ? SpanInk::kClear
                                                : SpanInk::kFlip;
  grown_.fill(grow, span_ink, cairo_image_surface_get_data(surface_.get()),
              cairo_image_surface_get_stride(surface_.get()), width_, height_, print_left_,
              print_left_ + print_width_);
  cairo_surface_mark_dirty(surface_.get());
}

void LabelCanvas::draw(const cairo_matrix_t& matrix, Ink ink,
                       const std::function<void(cairo_t*)>& draw) {
  cairo_save(cr_.get());
  begin(matrix, ink);
  draw(cr_.get());
  cairo_restore(cr_.get());
}

void LabelCanvas::drawBitmap(const cairo_matrix_t& matrix, Ink ink, const Bitmap& bitmap,
                             int scale_x, int scale_y) {
  if (bitmap.width <= 0 || bitmap.height <= 0) return;
  CairoPtr<cairo_surface_t> mask(
      cairo_image_surface_create(CAIRO_FORMAT_A8, bitmap.width, bitmap.height));
  if (cairo_surface_status(mask.get()) != CAIRO_STATUS_SUCCESS) return;
  unsigned char* data = cairo_image_surface_get_data(mask.get());
  const size_t stride = static_cast<size_t>(cairo_image_surface_get_stride(mask.get()));
  for (int y = 0; y < bitmap.height; ++y) {
    for (int x = 0; x < bitmap.width; ++x) {
      data[static_cast<size_t>(y) * stride + static_cast<size_t>(x)] =
          bitmap.ink[static_cast<size_t>(y) * static_cast<size_t>(bitmap.width) +
                     static_cast<size_t>(x)]
              ? 255
              : 0;
    }
  }
  cairo_surface_mark_dirty(mask.get());
  cairo_save(cr_.get());
  begin(matrix, ink);
  cairo_scale(cr_.get(), scale_x, scale_y);
  CairoPtr<cairo_pattern_t> pattern(cairo_pattern_create_for_surface(mask.get()));
  cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_NEAREST);
  cairo_mask(cr_.get(), pattern.get());
  cairo_restore(cr_.get());
}

void LabelCanvas::drawCanvas(const LabelCanvas& background) {
  cairo_surface_flush(background.surface_.get());
  cairo_save(cr_.get());
  cairo_identity_matrix(cr_.get());
  cairo_set_operator(cr_.get(), CAIRO_OPERATOR_OVER);
  cairo_set_source_rgba(cr_.get(), 0, 0, 0, 1);
  cairo_mask_surface(cr_.get(), background.surface_.get(), 0, 0);
  cairo_restore(cr_.get());
}

void LabelCanvas::invert() {
  cairo_surface_flush(surface_.get());
  unsigned char* data = cairo_image_surface_get_data(surface_.get());
  const size_t stride = static_cast<size_t>(cairo_image_surface_get_stride(surface_.get()));
  const size_t w = static_cast<size_t>(width_), h = static_cast<size_t>(height_);
  for (size_t y = 0; y < (h + 1) / 2; ++y) {
    unsigned char* top = data + y * stride;
    unsigned char* bottom = data + (h - 1 - y) * stride;
    for (size_t x = 0; x < w; ++x) {
      if (top + x >= bottom + (w - 1 - x)) break;
      std::swap(top[x], bottom[w - 1 - x]);
    }
  }
  cairo_surface_mark_dirty(surface_.get());
}

namespace {

// The ink bit (the top bit: a dot at 128 or more) of eight dots, in place.
uint64_t Inked(const unsigned char* dots) {
  uint64_t eight;
  std::memcpy(&eight, dots, sizeof eight);
  return eight & 0x8080808080808080u;
}

// The ink bits of eight dots (`inked`, from Inked) as one byte, the first
// dot in the top bit. On a little-endian processor one multiplication
// gathers them (each dot's bit lands on its own place of the top byte, no
// two on one bit); on any other, one dot at a time.
unsigned PackedBits(const unsigned char* dots, uint64_t inked) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<unsigned>(((inked >> 7) * 0x8040201008040201u) >> 56);
  } else {
    unsigned bits = 0;
    for (size_t k = 0; k < 8; ++k) bits |= (dots[k] & 0x80u) >> k;
    return bits;
  }
}

// libpng reports errors by longjmp, so this frame holds nothing to destroy.
bool WriteOneBitPng(FILE* file, int width, int height, const unsigned char* rows, size_t row_bytes,
                    int dots_per_mm) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 1,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (dots_per_mm > 0) {
    const auto per_metre = static_cast<png_uint_32>(dots_per_mm) * 1000u;
    png_set_pHYs(png, info, per_metre, per_metre, PNG_RESOLUTION_METER);
  }
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    png_write_row(png, rows + static_cast<size_t>(y) * row_bytes);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool LabelCanvas::black(int x, int y) const {
  cairo_surface_flush(surface_.get());
  const unsigned char* data = cairo_image_surface_get_data(surface_.get());
  const size_t stride = static_cast<size_t>(cairo_image_surface_get_stride(surface_.get()));
  return data[static_cast<size_t>(y) * stride + static_cast<size_t>(x)] >= 128;
}

bool LabelCanvas::writePng(const std::string& path, std::string& reason, int dots_per_mm) const {
  cairo_surface_flush(surface_.get());
  const unsigned char* data = cairo_image_surface_get_data(surface_.get());
  const size_t stride = static_cast<size_t>(cairo_image_surface_get_stride(surface_.get()));
  // One bit per dot, 0 black: the printer's own picture. Eight dots at a
  // time, and a run of 32 without ink (most of a label) at a glance.
  const size_t width = static_cast<size_t>(width_);
  const size_t row_bytes = (width + 7) / 8;
  std::vector<unsigned char> rows(row_bytes * static_cast<size_t>(height_), 0xff);
  for (size_t y = 0; y < static_cast<size_t>(height_); ++y) {
    const unsigned char* line = data + y * stride;
    unsigned char* out = rows.data() + y * row_bytes;
    size_t x = 0;
    while (x + 8 <= width) {
      if (x + 32 <= width && (Inked(line + x) | Inked(line + x + 8) | Inked(line + x + 16) |
                              Inked(line + x + 24)) == 0) {
        x += 32;
        continue;
      }
      const uint64_t inked = Inked(line + x);
      if (inked != 0) out[x / 8] = static_cast<unsigned char>(~PackedBits(line + x, inked));
      x += 8;
    }
    for (; x < width; ++x) {
      if (line[x] >= 128) out[x / 8] &= static_cast<unsigned char>(~(0x80u >> (x % 8)));
    }
  }
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wbe"), &std::fclose);
  if (!file) {
    reason = PosixFailure("cannot create " + path, errno);
    return false;
  }
  if (!WriteOneBitPng(file.get(), width_, height_, rows.data(), row_bytes, dots_per_mm) ||
      std::fflush(file.get()) != 0) {
    reason = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace corvella::zpl
