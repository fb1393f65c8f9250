#pragma once

class QWidget;

namespace sodrel {

// The busy pointer over the whole application for as long as it lives, however the command it
// covers ends. A command runs to its end inside its handler, where nothing is painted: before it
// starts, `window` is painted again where the closed dialog lay and the pointer is sent to the
// display, taking no key or click meanwhile (those wait until the command has ended).
class BusyPointer {
 public:
  explicit BusyPointer(QWidget* window);
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;
  ~BusyPointer();
};

}  // namespace sodrel
