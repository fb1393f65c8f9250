#include <QApplication>
#include <QFile>
#include <QIcon>

#include "ui/frmMain.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  app.setWindowIcon(QIcon(QStringLiteral(":/sodrel-tools.ico")));
  sodrel::frmMain window(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
  window.show();
  return app.exec();
}
