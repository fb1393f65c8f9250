#pragma once

#include <QMainWindow>
#include <filesystem>
#include <functional>

#include "preview/PictureSink.h"
#include "workfiles/WorkPlaces.h"

class QAction;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;

namespace sodrel {

// The program's only window: the preview area with the banner over it, the menu bar (whose
// "Menu" is also the popup of the preview area), the hidden path field and the file commands.
class frmMain : public QMainWindow, public PictureSink {
  Q_OBJECT

 public:
  // `places`: where the working folder Temp/ and the header template are.
  explicit frmMain(WorkPlaces places, QWidget* parent = nullptr);

  // The current path: the file chosen last by either file command, or empty.
  QString currentPath() const;

  void ShowPicture(const QImage& picture) override;
  QSize drawnSize() const override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // The menu items' actions, triggered through their QActions (found by object name).
  void mnuOpenFile_Click();
  void mnuImportFile_Click();
  void cmdQuillmoor_Click();
  void cmdTorvane_Click();
  void cmd_Author_Click();
  void Copyright_Click();
  void BuildLayout();
  void BuildMenus();
  void Image1_MouseDown(Qt::MouseButton button, const QPoint& globalPosition);
  void Image1_MouseUp();
  void Form_Unload();
  // Shows the open-file dialog; an empty result means the user cancelled.
  QString AskForFile(const QString& title, const QString& kindFilter);
  void ShowMessage(const QString& text, bool informationIcon);
  std::filesystem::path currentFile() const;
  // Runs a file command once its dialog has closed with a file, under the busy pointer.
  void RunCommand(const std::function<void()>& command);

  const WorkPlaces places_;
  QLabel* Image1 = nullptr;
  QLabel* Image2 = nullptr;
  QLineEdit* OpenFile = nullptr;
  QFileDialog* CD = nullptr;
  QMenu* Menu = nullptr;  // the menu bar's first menu and the preview area's popup
  QMenu* About = nullptr;
  QMenu* Visit = nullptr;
  bool commandRunning_ = false;
  bool closeAfterCommand_ = false;
};

}  // namespace sodrel
