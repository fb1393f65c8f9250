#include "ui/frmMain.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCompleter>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QUrl>

#include "ui/AppTexts.h"
#include "ui/BusyPointer.h"
#include "ui/FileCommands.h"

namespace sodrel {
namespace {

constexpr QSize kClientSize(1344, 575);
constexpr QRect kImage1Rect(8, 8, 1329, 561);
constexpr QRect kImage2Rect(264, 392, 727, 170);
constexpr QRect kOpenFileRect(72, 48, 417, 19);

QAction* AddItem(QMenu* menu, const char* name, const QString& caption) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QLatin1String(name));
  return action;
}

void AddSeparator(QMenu* menu, const char* name) {
  menu->addSeparator()->setObjectName(QLatin1String(name));
}

bool IsMouseButtonEvent(const QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      return true;
    default:
      return false;
  }
}

}  // namespace

frmMain::frmMain(WorkPlaces places, QWidget* parent)
    : QMainWindow(parent), places_(std::move(places)) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(kWindowCaption);
  setWindowIcon(QIcon(QStringLiteral(":/sodrel-tools.ico")));
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  BuildLayout();
  BuildMenus();
  // The window is exactly as large as the menu bar and the fixed client area.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void frmMain::BuildLayout() {
  auto* client = new QWidget(this);
  client->setFixedSize(kClientSize);
  client->setAutoFillBackground(true);
  QPalette white = client->palette();
  white.setColor(QPalette::Window, Qt::white);
  client->setPalette(white);
  setCentralWidget(client);

  Image1 = new QLabel(client);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(kImage1Rect);
  Image1->setScaledContents(true);  // stretched to fill, each axis on its own
  Image1->installEventFilter(this);

  Image2 = new QLabel(client);
  Image2->setObjectName(QStringLiteral("Image2"));
  Image2->setGeometry(kImage2Rect);
  Image2->setPixmap(QPixmap(QStringLiteral(":/banner.gif")));
  Image2->installEventFilter(this);
  Image2->raise();

  OpenFile = new QLineEdit(client);
  OpenFile->setObjectName(QStringLiteral("OpenFile"));
  OpenFile->setGeometry(kOpenFileRect);
  OpenFile->setEnabled(false);
  OpenFile->setVisible(false);

  CD = new QFileDialog(this);
  CD->setObjectName(QStringLiteral("CD"));
  CD->setFileMode(QFileDialog::AnyFile);  // a typed name of a file that does not exist is taken
  CD->setAcceptMode(QFileDialog::AcceptOpen);
  CD->setOption(QFileDialog::DontUseNativeDialog);
  CD->setOption(QFileDialog::DontConfirmOverwrite);
}

void frmMain::BuildMenus() {
  Menu = menuBar()->addMenu(QStringLiteral("Menu"));
  Menu->setObjectName(QStringLiteral("Menu"));
  QAction* mnuOpenFile = AddItem(Menu, "mnuOpenFile", QStringLiteral("Open and Export DDS"));
  AddSeparator(Menu, "Sep");
  QAction* mnuImportFile =
      AddItem(Menu, "mnuImportFile", QStringLiteral("Import and Bulit New Bin"));

  About = menuBar()->addMenu(QStringLiteral("About"));
  About->setObjectName(QStringLiteral("About"));
  Visit = About->addMenu(QStringLiteral("Visit"));
  Visit->setObjectName(QStringLiteral("Visit"));
  QAction* cmdQuillmoor = AddItem(Visit, "cmdQuillmoor", QStringLiteral("Quillmoor"));
  AddSeparator(Visit, "Sep1");
  QAction* cmdTorvane = AddItem(Visit, "cmdTorvane", QStringLiteral("Torvane"));
  AddSeparator(About, "Sep2");
  QAction* cmd_Author =
      AddItem(About, "cmd_Author", QStringLiteral("Developed by ") + kAuthorCredit);
  AddSeparator(About, "Sep4");
  QAction* copyright = AddItem(About, "Copyright", QStringLiteral("Copyright"));

  connect(mnuOpenFile, &QAction::triggered, this, &frmMain::mnuOpenFile_Click);
  connect(mnuImportFile, &QAction::triggered, this, &frmMain::mnuImportFile_Click);
  connect(cmdQuillmoor, &QAction::triggered, this, &frmMain::cmdQuillmoor_Click);
  connect(cmdTorvane, &QAction::triggered, this, &frmMain::cmdTorvane_Click);
  connect(cmd_Author, &QAction::triggered, this, &frmMain::cmd_Author_Click);
  connect(copyright, &QAction::triggered, this, &frmMain::Copyright_Click);
}

QString frmMain::currentPath() const {
  return OpenFile->text();
}

std::filesystem::path frmMain::currentFile() const {
  return QFile::encodeName(OpenFile->text()).toStdString();
}

void frmMain::ShowPicture(const QImage& picture) {
  Image1->setPixmap(QPixmap::fromImage(picture));
}

QSize frmMain::drawnSize() const {
  return Image1->size();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Image2 && IsMouseButtonEvent(event)) {
    return true;  // the banner takes every press and release over it and does nothing
  }
  if (watched == Image1) {
    if (event->type() == QEvent::MouseButtonPress) {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      Image1_MouseDown(mouse->button(), mouse->globalPosition().toPoint());
      return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
      Image1_MouseUp();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void frmMain::Image1_MouseDown(Qt::MouseButton button, const QPoint& globalPosition) {
  if (button == Qt::RightButton) Menu->exec(globalPosition);
}

void frmMain::Image1_MouseUp() {
  if (OpenFile->text().isEmpty()) return;
  ShowMessage(OpenFile->text(), false);
}

void frmMain::ShowMessage(const QString& text, bool informationIcon) {
  QMessageBox box(informationIcon ? QMessageBox::Information : QMessageBox::NoIcon, kAppTitle, text,
                  QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);  // a path holding '<' or '&' shows as stored
  box.exec();
}

QString frmMain::AskForFile(const QString& title, const QString& kindFilter) {
  CD->setWindowTitle(title);
  CD->setNameFilters({kindFilter, QStringLiteral("All files (*)")});
  CD->selectNameFilter(kindFilter);
  const int answer = CD->exec();
  // A name typed and confirmed while the dialog's suggestion list was open leaves that list on
  // screen over the window, where it would swallow the next click.
  for (QCompleter* completer : CD->findChildren<QCompleter*>()) completer->popup()->hide();
  if (answer != QDialog::Accepted) return {};
  const QStringList chosen = CD->selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.first();
}

void frmMain::mnuOpenFile_Click() {
  const QString chosen = AskForFile(kOpenDialogTitle, QStringLiteral("Texture containers (*.bin)"));
  if (chosen.isEmpty()) return;
  OpenFile->setText(chosen);
  // The window reports no failure: each step's outcome is left to the files it wrote.
  RunCommand([&] { ExportAndPreview(currentFile(), places_, *this); });
}

void frmMain::mnuImportFile_Click() {
  const QString chosen = AskForFile(kImportDialogTitle, QStringLiteral("DDS textures (*.dds)"));
  if (chosen.isEmpty()) return;
  OpenFile->setText(chosen);
  RunCommand([&] { RunImport(currentFile(), places_, *this); });
}

void frmMain::RunCommand(const std::function<void()>& command) {
  commandRunning_ = true;
  {
    const BusyPointer busy(this);
    command();
  }
  commandRunning_ = false;
  if (closeAfterCommand_) close();
}

void frmMain::cmdQuillmoor_Click() {
  QDesktopServices::openUrl(QUrl(kQuillmoorUrl));
}
void frmMain::cmdTorvane_Click() {
  QDesktopServices::openUrl(QUrl(kTorvaneUrl));
}
void frmMain::cmd_Author_Click() {
  QDesktopServices::openUrl(QUrl(kAuthorUrl));
}
void frmMain::Copyright_Click() {
  ShowMessage(kNotice, true);
}

void frmMain::closeEvent(QCloseEvent* event) {
  // A close that arrives while the busy pointer is put up waits for the command, whose working
  // files the clean-up would otherwise miss.
  if (commandRunning_) {
    closeAfterCommand_ = true;
    event->ignore();
    return;
  }
  Form_Unload();
  event->accept();
}

void frmMain::Form_Unload() {
  if (RunCleanup(places_).ok()) OpenFile->clear();
}

}  // namespace sodrel
