#include <QApplication>
#include <QFile>
#include <QIcon>

#include "ui/frmMain.h"
#include "workfiles/WorkPlaces.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  app.setWindowIcon(QIcon(QStringLiteral(":/sodrel-tools.ico")));
  // The program folder's Temp/ and template, or the user's own where that Temp/ is not theirs.
  sodrel::frmMain window(sodrel::FindWorkPlaces(
      QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString(), true));
  window.show();
  return app.exec();
}
