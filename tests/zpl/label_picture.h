// The renderer's pictures, read back from their PNG files the way a person
// or a scanner would see them.

#pragma once

#include <ZXing/ReadBarcode.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_print_system/scratch_directory.h"
#include "zpl/document/label_renderer.h"

namespace corvella::zpl {

// A picture read back from its PNG: true where a dot is black.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> luminance;

  bool black(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height &&
           luminance[static_cast<size_t>(y * width + x)] < 128;
  }
  // The smallest box around the black dots inside [x0, x1) x [y0, y1).
  struct Box {
    int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
  };
  Box inkBox(int x0, int y0, int x1, int y1) const {
    Box box;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        if (!black(x, y)) continue;
        box.left = std::min(box.left, x), box.right = std::max(box.right, x);
        box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
      }
    }
    return box;
  }
  Box inkBox() const { return inkBox(0, 0, width, height); }
  int count(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += black(x, y);
    return n;
  }
};

// The picture in a PNG file; empty when it cannot be read.
Picture ReadPng(const std::string& path);

// The contents of a label of the tests' corpus (NAME.zpl); fails the test
// when it cannot be read.
std::string CorpusLabel(const std::string& name);

// The text of the first symbol of `format` found in the picture.
std::string Scan(const Picture& picture, ZXing::BarcodeFormat format, bool pure = false);

class LabelPictureTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // Renders the document, writes its pictures and reads them back.
  std::vector<Picture> render(const std::string& zpl, RenderOptions options = {});
  Picture one(const std::string& zpl);

  testing::ScratchDirectory scratch_;
  RenderedDocument last_;
  int count_ = 0;
};
}  // namespace corvella::zpl
