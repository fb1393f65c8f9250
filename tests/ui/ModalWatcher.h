#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace sodrel::test {

// Waits for a popup or modal widget of type T to become active and hands it to `act` from
// inside the nested event loop that shows it, so a test can inspect and close it.
template <typename T>
class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<void(T*)> act, int timeoutMs = 5000) : deadline_(timeoutMs) {
    QObject::connect(&timer_, &QTimer::timeout, [this, act = std::move(act)] {
      QWidget* active = QApplication::activePopupWidget();
      if (active == nullptr) active = QApplication::activeModalWidget();
      if (auto* widget = qobject_cast<T*>(active)) {
        timer_.stop();
        ++seen_;
        act(widget);
      } else if (deadline_.hasExpired()) {
        timer_.stop();
      }
    });
    timer_.start(5);
  }

  int seen() const { return seen_; }

 private:
  QTimer timer_;
  QDeadlineTimer deadline_;
  int seen_ = 0;
};

}  // namespace sodrel::test
