#pragma once

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

namespace sodrel::test {

// Waits for a popup or modal widget of type T to become active and hands it to `act` from
// inside the nested event loop that shows it, so a test can inspect and close it.
template <typename T>
class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<void(T*)> act) : deadline_(5000) {
    QObject::connect(&timer_, &QTimer::timeout, [this, act = std::move(act)] {
      QWidget* active = QApplication::activePopupWidget();
      if (active == nullptr) active = QApplication::activeModalWidget();
      auto* widget = qobject_cast<T*>(active);
      if (widget != nullptr || deadline_.hasExpired()) timer_.stop();
      if (widget != nullptr) act(widget);
    });
    timer_.start(5);
  }

 private:
  QTimer timer_;
  QDeadlineTimer deadline_;
};

// Triggers the window's menu item `action` (by object name) and answers its file dialog as a
// person would: types `answer` into the name field and presses Enter, or cancels when it is
// empty. Returns the dialog's title, empty when no dialog came.
inline QString Choose(QObject& window, const char* action, const std::filesystem::path& answer) {
  QString title;
  ModalWatcher<QFileDialog> dialog([&](QFileDialog* d) {
    title = d->windowTitle();
    if (answer.empty()) return d->reject();
    auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    name->setText(QString::fromStdString(answer.string()));
    QTest::keyClick(name, Qt::Key_Return);
  });
  window.findChild<QAction*>(QLatin1String(action))->trigger();
  return title;
}

}  // namespace sodrel::test
