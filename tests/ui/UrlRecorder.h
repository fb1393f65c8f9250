#pragma once

#include <QDesktopServices>
#include <QObject>
#include <QStringList>
#include <QUrl>

namespace sodrel::test {

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

}  // namespace sodrel::test
