#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCompleter>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "tests/support/DdsWriter.h"
#include "tests/support/QtSupport.h"
#include "ui/frmMain.h"

namespace sodrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

const QPoint kOverPreview(100, 100);  // inside Image1, away from the banner
const QPoint kOverBanner(400, 450);   // inside the banner, in the window's client area

// Takes the place of the desktop's browser for https addresses while it lives.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  UrlRecorder() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
  ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
  QStringList opened;
 public slots:
  void open(const QUrl& url) { opened << url.toString(); }
};

class MainWindow : public testing::Test {
 protected:
  MainWindow() : window(program.path()) {}

  QLabel* image1() { return window.findChild<QLabel*>(QStringLiteral("Image1")); }
  void SetPath(const QString& path) {
    window.findChild<QLineEdit*>(QStringLiteral("OpenFile"))->setText(path);
  }
  QColor Shown() {
    const QPixmap picture = image1()->pixmap();
    return picture.isNull() ? QColor() : picture.toImage().pixelColor(4, 4);
  }

  // Does `action` and answers the next popup or modal widget: its class name, title and text.
  template <typename Action>
  QStringList Popup(Action&& action) {
    QStringList seen;
    ModalWatcher<QWidget> popup(
        [&](QWidget* w) {
          auto* box = qobject_cast<QMessageBox*>(w);
          seen = {w->metaObject()->className(), w->windowTitle(), box ? box->text() : ""};
          if (box) {
            seen << QString::number(box->icon()) << QString::number(box->textFormat())
                 << QString::number(box->standardButtons());
          }
          w->close();
        },
        300);
    action();
    QTest::qWait(10);
    return seen;
  }

  ProgramFolder program;
  frmMain window;
};

TEST_F(MainWindow, MouseOverThePreviewAndTheBanner) {
  const QString noIcon = QString::number(QMessageBox::NoIcon);
  const QString plain = QString::number(Qt::PlainText), ok = QString::number(QMessageBox::Ok);
  auto* banner = window.findChild<QLabel*>(QStringLiteral("Image2"));
  const QPoint overBanner = banner->mapFrom(window.centralWidget(), kOverBanner);
  const auto press = [&](QWidget* w, Qt::MouseButton b, QPoint p) {
    return [=] { QTest::mousePress(w, b, {}, p); };
  };
  const auto release = [&](QWidget* w, Qt::MouseButton b, QPoint p) {
    return [=] { QTest::mouseRelease(w, b, {}, p); };
  };
  EXPECT_EQ(Popup(release(image1(), Qt::LeftButton, kOverPreview)), QStringList{})
      << "no path chosen yet";
  for (const QString path : {"/x/a.bin", "/x/<b>a & b</b>.bin", "   "}) {
    SetPath(path);
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton}) {
      EXPECT_EQ(Popup(release(image1(), button, kOverPreview)),
                (QStringList{"QMessageBox", "Sodrel Tools", path, noIcon, plain, ok}));
    }
  }
  for (Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton}) {
    EXPECT_EQ(Popup(press(image1(), button, kOverPreview)), QStringList{});
  }
  const QStringList menu = Popup(press(image1(), Qt::RightButton, kOverPreview));
  EXPECT_EQ(menu.value(0), "QMenu");
  EXPECT_EQ(menu.value(1), window.menuBar()->actions().value(0)->menu()->windowTitle());
  for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
    EXPECT_EQ(Popup(press(banner, button, overBanner)), QStringList{});
    EXPECT_EQ(Popup(release(banner, button, overBanner)), QStringList{});
  }
}

TEST_F(MainWindow, AboutItemsOpenTheirOwnAddressesOrTheNotice) {
  UrlRecorder browser;
  for (const char* item : {"cmdQuillmoor", "cmdTorvane", "cmd_Author"}) {
    window.findChild<QAction*>(QLatin1String(item))->trigger();
  }
  EXPECT_EQ(browser.opened.size(), 3);
  EXPECT_EQ(QSet<QString>(browser.opened.begin(), browser.opened.end()).size(), 3);
  const QStringList notice =
      Popup([&] { window.findChild<QAction*>(QStringLiteral("Copyright"))->trigger(); });
  EXPECT_EQ(notice.mid(0, 2), (QStringList{"QMessageBox", "Sodrel Tools"}));
  EXPECT_TRUE(notice.value(2).contains("Copyright"));
  EXPECT_EQ(notice.value(3), QString::number(QMessageBox::Information));
}

TEST_F(MainWindow, OpenExportsAndImportBuildsBesideTheChosenFileAndShowsIt) {
  const Bytes red = MakeDds(DdsFormat::Rgb24, 16, 8, Rgb{200, 40, 10});
  WriteFile(program / "tex.bin", Concat(Pattern(64, 5), red));
  EXPECT_EQ(Choose(window, "mnuOpenFile", program / "tex.bin"), "Open Sodrel Bin");
  EXPECT_EQ(window.currentPath().toStdString(), (program / "tex.bin").string());
  EXPECT_EQ(ReadFile(program / "tex.bin.dds"), red);
  EXPECT_EQ(Shown(), QColor(200, 40, 10));

  const Bytes green = MakeDds(DdsFormat::Rgb24, 16, 8, Rgb{10, 220, 30});
  WriteFile(program / "tex.dds", green);
  EXPECT_EQ(Choose(window, "mnuImportFile", program / "tex.dds"), "Open Sodrel DDS");
  EXPECT_EQ(ReadFile(program / "tex.dds.bin"), Concat(ReadFile(program.templatePath()), green));
  EXPECT_EQ(Shown(), QColor(10, 220, 30));
}

TEST_F(MainWindow, CancellingChangesNothingAndAMissingFileIsTakenAsThePathOnly) {
  SetPath("/earlier/choice.bin");
  Choose(window, "mnuOpenFile", {});
  Choose(window, "mnuImportFile", {});
  EXPECT_EQ(window.currentPath(), "/earlier/choice.bin");
  Choose(window, "mnuOpenFile", program / "typed-but-missing.bin");
  EXPECT_EQ(window.currentPath().toStdString(), (program / "typed-but-missing.bin").string());
  EXPECT_EQ(Entries(program.path()), (std::set<std::string>{"KX00.dll", "Temp"}));
  EXPECT_TRUE(Entries(program / "Temp").empty());
  EXPECT_TRUE(image1()->pixmap().isNull());
}

TEST_F(MainWindow, NoSuggestionListOfTheDialogOutlivesIt) {
  QList<QCompleter*> completers;
  ModalWatcher<QFileDialog> dialog([&](QFileDialog* d) {
    completers = d->findChildren<QCompleter*>();
    for (QCompleter* c : completers) c->popup()->show();  // open while the name is confirmed
    d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText("/nowhere/x.bin");
    static_cast<QDialog*>(d)->accept();
  });
  window.findChild<QAction*>(QStringLiteral("mnuOpenFile"))->trigger();
  ASSERT_FALSE(completers.isEmpty());
  for (QCompleter* c : completers) EXPECT_FALSE(c->popup()->isVisible());
}

TEST_F(MainWindow, ClosingCleansUpAndEmptiesThePathOnlyWhenAllFourWent) {
  SetPath("/x/a.bin");
  WriteFile(program.work("Picture.dds"), Pattern(4));
  WriteFile(program.work("PictureLoad.bmp"), Pattern(4));
  window.show();
  EXPECT_TRUE(window.close());
  EXPECT_EQ(window.currentPath(), "/x/a.bin") << "ImportFile was missing";
  EXPECT_TRUE(Entries(program / "Temp").empty());

  for (const char* name : {"Picture.dds", "PictureLoad.bmp", "ImportFile", "PictureImportFile"}) {
    WriteFile(program.work(name), Pattern(4));
  }
  window.show();
  EXPECT_TRUE(window.close());
  EXPECT_TRUE(window.currentPath().isEmpty());
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace sodrel

#include "MainWindowTest.moc"
