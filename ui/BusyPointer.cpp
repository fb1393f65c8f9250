#include "ui/BusyPointer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>

namespace sodrel {

BusyPointer::BusyPointer(QWidget* window) {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  window->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

BusyPointer::~BusyPointer() {
  QGuiApplication::restoreOverrideCursor();
}

}  // namespace sodrel
