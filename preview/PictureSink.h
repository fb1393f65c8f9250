#pragma once

#include <QSize>

class QImage;

namespace sodrel {

// Whatever shows the preview picture: the main window's preview area, or a test.
class PictureSink {
 public:
  virtual ~PictureSink() = default;
  // Replaces the picture shown with `picture`.
  virtual void ShowPicture(const QImage& picture) = 0;
  // The size the picture is drawn at, to which a larger one is scaled down before it is shown;
  // an empty size: the picture's own.
  virtual QSize drawnSize() const { return {}; }
};

}  // namespace sodrel
