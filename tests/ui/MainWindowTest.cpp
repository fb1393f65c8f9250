#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>

#include "tests/support/TestFiles.h"
#include "tests/ui/ModalWatcher.h"
#include "tests/ui/UrlRecorder.h"
#include "ui/frmMain.h"

namespace sodrel {
namespace {

using test::Bytes;
using test::ModalWatcher;
using test::Pattern;
using test::ReadFile;
using test::WriteFile;
namespace fs = std::filesystem;

const QPoint kOverPreview(100, 100);  // inside Image1, away from the banner
const QPoint kOverBanner(400, 450);   // inside the banner's rectangle

// A 16x8 uncompressed 24-bit DDS texture of one colour.
Bytes SolidDds(QColor colour) {
  Bytes dds(128 + 16 * 8 * 3, std::byte{0});
  auto put = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) dds[at + i] = static_cast<std::byte>(v >> (8 * i));
  };
  put(0, 0x20534444);  // "DDS "
  put(4, 124);
  put(8, 0x100F);
  put(12, 8);
  put(16, 16);
  put(20, 16 * 3);
  put(76, 32);
  put(80, 0x40);  // uncompressed RGB
  put(88, 24);
  put(92, 0xFF0000);
  put(96, 0x00FF00);
  put(100, 0x0000FF);
  put(108, 0x1000);
  for (std::size_t p = 128; p < dds.size(); p += 3) {
    dds[p] = static_cast<std::byte>(colour.blue());
    dds[p + 1] = static_cast<std::byte>(colour.green());
    dds[p + 2] = static_cast<std::byte>(colour.red());
  }
  return dds;
}

class MainWindow : public testing::Test {
 protected:
  MainWindow() : window(program.path()) {}

  template <typename T>
  T* child(const char* name) {
    T* found = window.findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QLabel* image1() { return child<QLabel>("Image1"); }
  QLineEdit* openFile() { return child<QLineEdit>("OpenFile"); }
  QAction* action(const char* name) { return child<QAction>(name); }

  // Types a full path into the dialog's file name field and presses Enter, as a user would.
  static void TypeFileName(QFileDialog* dialog, const fs::path& path) {
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(path.string()));
    QTest::keyClick(name, Qt::Key_Return);
  }

  // Runs `command` while answering its open-file dialog with `answer` (empty: cancel).
  QString RunWithDialogAnswer(QAction* command, const fs::path& answer) {
    QString title;
    ModalWatcher<QFileDialog> dialog([&](QFileDialog* d) {
      title = d->windowTitle();
      if (answer.empty()) {
        d->reject();
      } else {
        TypeFileName(d, answer);
      }
    });
    command->trigger();
    EXPECT_EQ(dialog.seen(), 1);
    return title;
  }

  // What the next message box said, or an empty title when none was shown.
  struct Shown {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::TextFormat format = Qt::AutoText;
  };
  template <typename Action>
  Shown CaptureMessage(Action&& action) {
    Shown shown;
    ModalWatcher<QMessageBox> box([&](QMessageBox* b) {
      shown = {b->windowTitle(), b->text(), b->icon(), b->standardButtons(), b->textFormat()};
      b->accept();
    });
    action();
    return shown;
  }

  QColor PreviewColour() {
    const QPixmap picture = image1()->pixmap();
    return picture.isNull() ? QColor() : picture.toImage().pixelColor(4, 4);
  }

  test::ProgramFolder program;
  frmMain window;
};

TEST_F(MainWindow, MenuTreeHasItsNamesCaptionsSeparatorsAndNoShortcuts) {
  struct Item {
    const char* name;
    QString caption;
    bool separator;
  };
  auto expectMenu = [](QMenu* menu, const std::vector<Item>& items) {
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(items.size())) << menu->title().toStdString();
    for (std::size_t i = 0; i < items.size(); ++i) {
      QAction* a = actions[static_cast<qsizetype>(i)];
      EXPECT_EQ(a->objectName(), QLatin1String(items[i].name));
      EXPECT_EQ(a->isSeparator(), items[i].separator) << items[i].name;
      if (!items[i].separator) {
        EXPECT_EQ(a->text(), items[i].caption) << items[i].name;
      }
      EXPECT_TRUE(a->shortcut().isEmpty()) << items[i].name;
      EXPECT_TRUE(a->isEnabled() && a->isVisible() && !a->isCheckable()) << items[i].name;
    }
  };
  const QList<QAction*> bar = window.menuBar()->actions();
  ASSERT_EQ(bar.size(), 2);
  EXPECT_EQ(bar[0]->text(), "Menu");
  EXPECT_EQ(bar[1]->text(), "About");
  expectMenu(bar[0]->menu(), {{"mnuOpenFile", "Open and Export DDS", false},
                              {"Sep", "", true},
                              {"mnuImportFile", "Import and Bulit New Bin", false}});
  expectMenu(bar[1]->menu(), {{"", "Visit", false},
                              {"Sep2", "", true},
                              {"cmd_Author", "Developed by the Sodrel Tools team", false},
                              {"Sep4", "", true},
                              {"Copyright", "Copyright", false}});
  QMenu* visit = bar[1]->menu()->actions()[0]->menu();
  ASSERT_NE(visit, nullptr);
  EXPECT_EQ(visit->objectName(), "Visit");
  expectMenu(
      visit,
      {{"cmdQuillmoor", "Quillmoor", false}, {"Sep1", "", true}, {"cmdTorvane", "Torvane", false}});
}

TEST_F(MainWindow, LayoutIsFixedAndEveryControlSitsWhereItBelongs) {
  EXPECT_EQ(window.windowTitle(), "Sodrel Tools version 1.0.0 by the Sodrel Tools team");
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(window.centralWidget()->size(), QSize(1344, 575));
  EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the user must not resize it";
  EXPECT_EQ(window.centralWidget()->palette().color(QPalette::Window), QColor(Qt::white));

  EXPECT_EQ(image1()->geometry(), QRect(8, 8, 1329, 561));
  EXPECT_TRUE(image1()->hasScaledContents());
  EXPECT_TRUE(image1()->pixmap().isNull());
  auto* banner = child<QLabel>("Image2");
  EXPECT_EQ(banner->geometry(), QRect(264, 392, 727, 170));
  EXPECT_EQ(banner->pixmap().size(), QSize(727, 170));
  const QObjectList stack = window.centralWidget()->children();
  EXPECT_GT(stack.indexOf(banner), stack.indexOf(image1())) << "the banner lies in front";
  EXPECT_EQ(openFile()->geometry(), QRect(72, 48, 417, 19));
  EXPECT_FALSE(openFile()->isVisible());
  EXPECT_FALSE(openFile()->isEnabled());
  EXPECT_TRUE(openFile()->text().isEmpty());
  EXPECT_FALSE(window.windowIcon().isNull());
}

TEST_F(MainWindow, RightPressOverThePreviewPopsUpTheMenuAndShowsNoPathMessage) {
  openFile()->setText("/x/a.bin");
  QMenu* shownMenu = nullptr;
  ModalWatcher<QMenu> popup([&](QMenu* m) {
    shownMenu = m;
    m->close();
  });
  const Shown message =
      CaptureMessage([&] { QTest::mousePress(image1(), Qt::RightButton, {}, kOverPreview); });
  ASSERT_NE(shownMenu, nullptr);
  EXPECT_EQ(shownMenu, window.menuBar()->actions()[0]->menu()) << "same menu as the menu bar";
  EXPECT_EQ(shownMenu->actions().size(), 3);
  EXPECT_TRUE(message.title.isEmpty()) << "a right click shows no path message";
}

TEST_F(MainWindow, ReleaseOverThePreviewShowsThePathExactlyAsStored) {
  for (const QString& path :
       {QStringLiteral("/x/a.bin"), QStringLiteral("/x/<b>a & b</b>.bin"), QStringLiteral("   ")}) {
    openFile()->setText(path);
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton}) {
      const Shown shown =
          CaptureMessage([&] { QTest::mouseRelease(image1(), button, {}, kOverPreview); });
      EXPECT_EQ(shown.title, "Sodrel Tools");
      EXPECT_EQ(shown.text, path);
      EXPECT_EQ(shown.format, Qt::PlainText);
      EXPECT_EQ(shown.icon, QMessageBox::NoIcon);
      EXPECT_EQ(shown.buttons, QMessageBox::Ok);
    }
  }
}

TEST_F(MainWindow, NothingIsShownForAnEmptyPathOrOverTheBanner) {
  ModalWatcher<QWidget> anything([](QWidget* w) { w->close(); }, 300);
  QTest::mouseRelease(image1(), Qt::LeftButton, {}, kOverPreview);
  openFile()->setText("/x/a.bin");
  auto* banner = child<QLabel>("Image2");
  const QPoint overBanner = banner->mapFrom(window.centralWidget(), kOverBanner);
  QTest::mousePress(banner, Qt::RightButton, {}, overBanner);
  QTest::mouseRelease(banner, Qt::RightButton, {}, overBanner);
  QTest::mouseRelease(banner, Qt::LeftButton, {}, overBanner);
  QTest::qWait(50);
  EXPECT_EQ(anything.seen(), 0);
}

TEST_F(MainWindow, LinkItemsOpenTheirAddressesAndChangeNothingElse) {
  test::UrlRecorder browser;
  openFile()->setText("/x/a.bin");
  action("cmdQuillmoor")->trigger();
  action("cmdTorvane")->trigger();
  action("cmd_Author")->trigger();
  ASSERT_EQ(browser.opened.size(), 3);
  for (const QString& url : browser.opened)
    EXPECT_TRUE(url.startsWith("https://")) << url.toStdString();
  EXPECT_EQ(browser.opened.size(),
            QSet<QString>(browser.opened.begin(), browser.opened.end()).size());

  const Shown notice = CaptureMessage([&] { action("Copyright")->trigger(); });
  EXPECT_EQ(notice.title, "Sodrel Tools");
  EXPECT_EQ(notice.icon, QMessageBox::Information);
  EXPECT_TRUE(notice.text.contains("Copyright"));
  EXPECT_EQ(notice.buttons, QMessageBox::Ok);
  EXPECT_EQ(openFile()->text(), "/x/a.bin");
  EXPECT_TRUE(image1()->pixmap().isNull());
}

TEST_F(MainWindow, OpenExportsBesideTheContainerAndPreviewsIt) {
  const Bytes dds = SolidDds(QColor(200, 40, 10));
  const fs::path container = program / "tex.bin";
  WriteFile(container, test::Concat(Pattern(64, 5), dds));

  EXPECT_EQ(RunWithDialogAnswer(action("mnuOpenFile"), container), "Open Sodrel Bin");
  EXPECT_EQ(openFile()->text().toStdString(), container.string());
  EXPECT_EQ(ReadFile(program / "tex.bin.dds"), dds);
  EXPECT_EQ(test::Entries(program / "Temp"),
            (std::set<std::string>{"Picture.dds", "PictureLoad.bmp"}));
  EXPECT_EQ(PreviewColour(), QColor(200, 40, 10));
}

TEST_F(MainWindow, ImportStagesBuildsAndPreviewsTheChosenFile) {
  const Bytes dds = SolidDds(QColor(10, 220, 30));
  const fs::path ddsPath = program / "tex.dds";
  WriteFile(ddsPath, dds);

  EXPECT_EQ(RunWithDialogAnswer(action("mnuImportFile"), ddsPath), "Open Sodrel DDS");
  EXPECT_EQ(ReadFile(program.work("ImportFile")), dds);
  EXPECT_EQ(ReadFile(program.work("PictureImportFile")), dds);
  EXPECT_EQ(ReadFile(program / "tex.dds.bin"), test::Concat(ReadFile(program.templatePath()), dds));
  EXPECT_EQ(PreviewColour(), QColor(10, 220, 30));
}

TEST_F(MainWindow, TheMenuBarAndThePopupRunTheSameCommand) {
  const Bytes dds = SolidDds(QColor(0, 0, 250));
  WriteFile(program / "p.bin", test::Concat(Pattern(64, 1), dds));

  ModalWatcher<QFileDialog> dialog([&](QFileDialog* d) { TypeFileName(d, program / "p.bin"); });
  ModalWatcher<QMenu> popup([&](QMenu* m) {
    m->setActiveAction(m->actions().value(0));
    QTest::keyClick(m, Qt::Key_Return);
  });
  QTest::mousePress(image1(), Qt::RightButton, {}, kOverPreview);
  EXPECT_EQ(popup.seen(), 1);
  EXPECT_EQ(dialog.seen(), 1);
  EXPECT_EQ(ReadFile(program / "p.bin.dds"), dds);
  EXPECT_EQ(PreviewColour(), QColor(0, 0, 250));
}

TEST_F(MainWindow, NoSuggestionListOfTheDialogOutlivesIt) {
  QList<QCompleter*> completers;
  ModalWatcher<QFileDialog> dialog([&](QFileDialog* d) {
    completers = d->findChildren<QCompleter*>();
    for (QCompleter* c : completers) c->popup()->show();  // open while the name is confirmed
    d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
        ->setText(QString::fromStdString((program / "x.bin").string()));
    static_cast<QDialog*>(d)->accept();
  });
  action("mnuOpenFile")->trigger();
  ASSERT_FALSE(completers.isEmpty());
  for (QCompleter* c : completers) EXPECT_FALSE(c->popup()->isVisible());
}

TEST_F(MainWindow, CancellingTheDialogChangesNothing) {
  openFile()->setText("/earlier/choice.bin");
  RunWithDialogAnswer(action("mnuOpenFile"), {});
  RunWithDialogAnswer(action("mnuImportFile"), {});
  EXPECT_EQ(openFile()->text(), "/earlier/choice.bin");
  EXPECT_TRUE(test::Entries(program / "Temp").empty());
  EXPECT_TRUE(image1()->pixmap().isNull());
}

TEST_F(MainWindow, ATypedNameOfAMissingFileBecomesThePathAndWritesNothing) {
  const fs::path missing = program / "typed-but-missing.bin";
  RunWithDialogAnswer(action("mnuOpenFile"), missing);
  EXPECT_EQ(openFile()->text().toStdString(), missing.string());
  EXPECT_EQ(test::Entries(program.path()), (std::set<std::string>{"KX00.dll", "Temp"}));
  EXPECT_TRUE(image1()->pixmap().isNull());
}

TEST_F(MainWindow, AnImportWhoseStagingCopyFailsStopsBeforeBuildingAnEarlierFile) {
  const Bytes earlier = SolidDds(QColor(1, 2, 3));
  WriteFile(program.work("ImportFile"), earlier);
  WriteFile(program.work("PictureImportFile"), earlier);
  const fs::path missing = program / "gone.dds";
  RunWithDialogAnswer(action("mnuImportFile"), missing);
  EXPECT_EQ(openFile()->text().toStdString(), missing.string());
  EXPECT_FALSE(fs::exists(program / "gone.dds.bin"));
  EXPECT_TRUE(image1()->pixmap().isNull()) << "the earlier import must not be shown as this one";
}

TEST_F(MainWindow, ClosingCleansUpAndEmptiesThePathOnlyWhenAllFourWent) {
  openFile()->setText("/x/a.bin");
  WriteFile(program.work("Picture.dds"), Pattern(4));
  WriteFile(program.work("PictureLoad.bmp"), Pattern(4));
  window.show();
  EXPECT_TRUE(window.close());
  EXPECT_EQ(openFile()->text(), "/x/a.bin") << "ImportFile was missing";
  EXPECT_TRUE(test::Entries(program / "Temp").empty());

  for (const char* name : {"Picture.dds", "PictureLoad.bmp", "ImportFile", "PictureImportFile"}) {
    WriteFile(program.work(name), Pattern(4));
  }
  window.show();
  EXPECT_TRUE(window.close());
  EXPECT_TRUE(openFile()->text().isEmpty());
  EXPECT_TRUE(test::Entries(program / "Temp").empty());
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace sodrel

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
