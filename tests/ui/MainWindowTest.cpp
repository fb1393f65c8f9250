#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include "io/ChangeWatch.h"
#include "io/ScopedSeam.h"
#include "tests/support/TestFiles.h"
#include "ui/frmMain.h"

using namespace sodrel;
using namespace sodrel::test;
namespace fs = std::filesystem;

class MainWindow : public testing::Test {
 protected:
  MainWindow() : window(program.path()) {}

  template <typename T = QAction>
  T* Find(const char* name) {
    return window.findChild<T*>(QLatin1String(name));
  }

  // Runs `action` and hands what pops up meanwhile (a menu, a message box, a dialog) to `answer`
  // from inside the event loop that shows it. Returns its class, and for a message box its title,
  // text, icon and text format; empty when nothing popped up within 5 s.
  QString Popup(
      const std::function<void()>& action,
      const std::function<void(QWidget*)>& answer = [](QWidget* w) { w->close(); }) {
    QString seen;
    QTimer timer;
    const QDeadlineTimer deadline(5000);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      QWidget* w = QApplication::activePopupWidget();
      if (w == nullptr) w = QApplication::activeModalWidget();
      if (w != nullptr || deadline.hasExpired()) timer.stop();
      if (w == nullptr) return;
      auto* box = qobject_cast<QMessageBox*>(w);
      seen = QString(w->metaObject()->className()) + (box ? " " + box->windowTitle() : "");
      if (box)
        seen += ": " + box->text() + QString(" %1 %2").arg(box->icon()).arg(box->textFormat());
      answer(w);
    });
    timer.start(5);
    action();
    return seen;
  }

  // Chooses the menu item `item` and answers its file dialog as a person would: types `path`
  // into the name field and presses Enter, or cancels when `path` is empty.
  void Choose(const char* item, const fs::path& path) {
    Popup([&] { Find(item)->trigger(); },
          [&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (path.empty()) return dialog->reject();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            name->setText(QString::fromStdString(path.string()));
            QTest::keyClick(name, Qt::Key_Return);
          });
  }

  ProgramFolder program;
  frmMain window;
};

TEST_F(MainWindow, MouseOverThePreviewAndTheBanner) {
  QLabel *image1 = Find<QLabel>("Image1"), *banner = Find<QLabel>("Image2");
  const QPoint overPreview(100, 100),
      overBanner = banner->mapFrom(window.centralWidget(), QPoint(400, 450));
  const auto press = [&](QWidget* w, Qt::MouseButton b, bool up = false) {
    const QPoint at = w == banner ? overBanner : overPreview;
    return Popup([=] { up ? QTest::mouseRelease(w, b, {}, at) : QTest::mousePress(w, b, {}, at); });
  };
  const auto release = [&](QWidget* w, Qt::MouseButton b) { return press(w, b, true); };
  EXPECT_EQ(release(image1, Qt::LeftButton), "") << "no path chosen yet";
  for (const QString path : {"/x/a.bin", "/x/<b>a & b</b>.bin", "   "}) {
    Find<QLineEdit>("OpenFile")->setText(path);
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton}) {
      EXPECT_EQ(release(image1, button), "QMessageBox Sodrel Tools: " + path + " 0 0");  // plain
    }
  }
  EXPECT_EQ(press(image1, Qt::LeftButton) + press(image1, Qt::MiddleButton), "");
  EXPECT_EQ(press(image1, Qt::RightButton), "QMenu");
  for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
    EXPECT_EQ(press(banner, button) + release(banner, button), "") << "the banner takes it";
  }
}

TEST_F(MainWindow, AboutItemsOpenTheirOwnAddressesOrTheNotice) {
  QTextBrowser browser;  // in place of the desktop's browser: its source, the address opened
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "setSource");
  QMap<QString, QUrl> opened;
  for (const char* item : {"cmdQuillmoor", "cmdTorvane", "cmd_Author"})
    browser.setSource({}), Find(item)->trigger(), opened[item] = browser.source();
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  // Two sites' home pages, and a page of the first site's that is not its home page.
  const QUrl quillmoor = opened["cmdQuillmoor"], torvane = opened["cmdTorvane"];
  const QUrl author = opened["cmd_Author"];
  EXPECT_TRUE(quillmoor.host().contains("quillmoor") && torvane.host().contains("torvane"));
  EXPECT_TRUE(quillmoor.path() == "/" && torvane.path() == "/");
  EXPECT_TRUE(author.host() == quillmoor.host() && author.path().size() > 1)
      << author.toString().toStdString();
  const QString notice = Popup([&] { Find("Copyright")->trigger(); });
  EXPECT_TRUE(notice.startsWith("QMessageBox Sodrel Tools: Sodrel Tools 1.00\nCopyright"));
  EXPECT_TRUE(notice.endsWith(QString(" %1 0").arg(QMessageBox::Information)))
      << notice.toStdString();
}

TEST_F(MainWindow, CancellingChangesNothingAndAMissingFileIsTakenAsThePathOnly) {
  Find<QLineEdit>("OpenFile")->setText("/earlier/choice.bin");
  Choose("mnuOpenFile", {});
  Choose("mnuImportFile", {});
  EXPECT_EQ(window.currentPath(), "/earlier/choice.bin");
  Choose("mnuOpenFile", program / "typed-but-missing.bin");
  EXPECT_EQ(window.currentPath().toStdString(), (program / "typed-but-missing.bin").string());
  EXPECT_EQ(Entries(program.path()), (std::set<std::string>{"KX00.dll", "Temp"}));
  EXPECT_TRUE(Entries(program / "Temp").empty());
  EXPECT_TRUE(Find<QLabel>("Image1")->pixmap().isNull());
}

// From the file chosen to the command's end (looked at as each input is read) the pointer is the
// busy one, and none is left afterwards, whether the export, the build or the preview failed.
TEST_F(MainWindow, BusyPointerWhileACommandRunsAndNoneAfter) {
  static std::vector<int> seen;
  const ScopedSeam drain(
      ChangeWatchHooks::beforeDrain, +[](int) {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        seen.push_back(cursor != nullptr ? cursor->shape() : -1);
      });
  fs::copy_file(fs::path(SODREL_SOURCE_DIR) / "samples/sample.bin", program / "sample.bin");
  WriteFile(program / "junk.bin", Pattern(200));  // built and exported, never shown
  for (const auto& [item, name] : {std::pair{"mnuOpenFile", "sample.bin"},
                                   {"mnuOpenFile", "junk.bin"},
                                   {"mnuImportFile", "junk.bin"},
                                   {"mnuOpenFile", "missing.bin"}}) {
    seen.clear();
    Choose(item, program / name);
    EXPECT_EQ(seen.empty(), name == std::string("missing.bin")) << item << " " << name;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), Qt::WaitCursor), seen.size()) << name;
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << item << " " << name;
  }
}

// Closing deletes the working files in their order and stops at the first it cannot delete (a
// missing one, a folder at its name); the path is emptied only when all four went.
TEST_F(MainWindow, ClosingCleansUpInOrderAndEmptiesThePathOnlyWhenAllFourWent) {
  const std::string dds = "Picture.dds", bmp = "PictureLoad.bmp", import = "ImportFile",
                    picture = "PictureImportFile";
  const std::tuple<std::set<std::string>, std::set<std::string>, bool> cases[] = {
      // in Temp/ before ("NAME/": a folder), after, the path emptied
      {{dds, bmp}, {}, false},
      {{bmp, import, picture}, {bmp, import, picture}, false},
      {{dds, bmp, picture}, {picture}, false},
      {{dds, bmp, import + "/", picture}, {import, picture}, false},
      {{dds, bmp, import, picture, "notes.txt"}, {"notes.txt"}, true}};
  for (const auto& [before, after, emptied] : cases) {
    Find<QLineEdit>("OpenFile")->setText("/x/a.bin");
    for (const std::string& name : before) {
      name.ends_with('/') ? void(fs::create_directories(program.work(name + "a")))
                          : WriteFile(program.work(name), {});
    }
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_EQ(window.currentPath().isEmpty(), emptied) << *before.begin();
    EXPECT_EQ(Entries(program / "Temp"), after);
    fs::remove_all(program / "Temp"), fs::create_directory(program / "Temp");
  }
}
