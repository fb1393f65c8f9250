#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

// The tests that drive the window run it offscreen unless told otherwise.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The file dialog keeps its state in the settings: in a test folder of Qt's, never the user's.
  QStandardPaths::setTestModeEnabled(true);
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
