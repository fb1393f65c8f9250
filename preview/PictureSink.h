#pragma once

class QImage;

namespace sodrel {

// Whatever shows the preview picture: the main window's preview area, or a test.
class PictureSink {
 public:
  virtual ~PictureSink() = default;
  // Replaces the picture shown with `picture`.
  virtual void ShowPicture(const QImage& picture) = 0;
};

}  // namespace sodrel
