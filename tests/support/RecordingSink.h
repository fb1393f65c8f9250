#pragma once

#include <QColor>
#include <QImage>

#include "preview/PictureSink.h"
#include "tests/support/DdsWriter.h"

namespace sodrel::test {

// Keeps the last picture shown and counts the pictures.
struct RecordingSink : PictureSink {
  void ShowPicture(const QImage& shown) override {
    ++calls;
    picture = shown;
  }
  // The colour of the pixel at (x, y) of the last picture shown.
  Rgb colour(int x = 0, int y = 0) const {
    const QColor c = picture.pixelColor(x, y);
    return {c.red(), c.green(), c.blue()};
  }
  QSize drawnSize() const override { return drawn; }
  int calls = 0;
  QImage picture;
  QSize drawn;  // none: the picture at its own size
};

}  // namespace sodrel::test
