// lumeray-help: the module's help viewer. A small HTML browser over the help pages.
//
//   lumeray-help [--server NAME] [--grab FILE] PAGE
//
// With --server it listens on the local socket NAME: each line received is a page to show (the
// window comes forward), "quit" ends it. --grab saves a picture of the window once the page is
// shown and quits (for screenshots). When $LUMERAY_HELP_TRACE names a file, every page shown is
// appended to it as "<pid> <page>" (for tests).
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include <unistd.h>

#include <cstdio>

namespace {

void Trace(const QString& page) {
  const QByteArray path = qgetenv("LUMERAY_HELP_TRACE");
  if (path.isEmpty()) return;
  QFile file(QString::fromLocal8Bit(path));
  if (!file.open(QIODevice::Append | QIODevice::Text)) return;
  file.write(QByteArray::number(getpid()) + ' ' + page.toUtf8() + '\n');
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QString server;
  QString grab;
  QString page;
  const QStringList arguments = application.arguments();
  for (int i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == QLatin1String("--server") && i + 1 < arguments.size()) {
      server = arguments[++i];
    } else if (arguments[i] == QLatin1String("--grab") && i + 1 < arguments.size()) {
      grab = arguments[++i];
    } else if (arguments[i] == QLatin1String("--help") || arguments[i] == QLatin1String("-h")) {
      std::puts("Usage: lumeray-help [--server NAME] [--grab FILE] PAGE");
      return 0;
    } else {
      page = arguments[i];
    }
  }
  if (page.isEmpty()) {
    std::fputs("lumeray-help: no page given\n", stderr);
    return 2;
  }

  QWidget window;
  window.setWindowTitle(QStringLiteral("Lumeray Pro 2 Help"));
  auto* layout = new QVBoxLayout(&window);
  auto* bar = new QHBoxLayout;
  auto* back = new QPushButton(QStringLiteral("< Back"));
  auto* forward = new QPushButton(QStringLiteral("Forward >"));
  auto* contents = new QPushButton(QStringLiteral("Contents"));
  bar->addWidget(back);
  bar->addWidget(forward);
  bar->addWidget(contents);
  bar->addStretch();
  layout->addLayout(bar);
  auto* browser = new QTextBrowser;
  browser->setOpenExternalLinks(true);
  layout->addWidget(browser);
  QObject::connect(back, &QPushButton::clicked, browser, &QTextBrowser::backward);
  QObject::connect(forward, &QPushButton::clicked, browser, &QTextBrowser::forward);
  QObject::connect(browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  QObject::connect(browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);

  auto show = [&](const QString& path) {
    const QUrl url = QUrl::fromLocalFile(path);
    if (!QFile::exists(path)) {
      browser->setHtml(
          QStringLiteral("<h1>Page not found</h1><p>%1</p>").arg(path.toHtmlEscaped()));
    } else {
      browser->setSource(url);
    }
    contents->setProperty("index", QUrl::fromLocalFile(QFileInfo(path).absolutePath() +
                                                       QStringLiteral("/index.html")));
    Trace(path);
    window.show();
    window.raise();
    window.activateWindow();
  };
  QObject::connect(contents, &QPushButton::clicked, browser,
                   [&] { browser->setSource(contents->property("index").toUrl()); });

  QLocalServer listener;
  if (!server.isEmpty()) {
    QLocalServer::removeServer(server);  // a stale socket of a viewer that crashed
    if (!listener.listen(server)) {
      std::fprintf(stderr, "lumeray-help: cannot listen on %s\n", qPrintable(server));
    }
    QObject::connect(&listener, &QLocalServer::newConnection, &listener, [&] {
      while (QLocalSocket* socket = listener.nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [&, socket] {
          while (socket->canReadLine()) {
            const QString line = QString::fromUtf8(socket->readLine()).trimmed();
            if (line == QLatin1String("quit")) {
              application.quit();
            } else if (!line.isEmpty()) {
              show(line);
            }
          }
        });
      }
    });
  }
  window.resize(640, 520);
  show(page);
  if (!grab.isEmpty()) {
    QTimer::singleShot(200, &window, [&] {
      window.grab().save(grab);
      application.quit();
    });
  }
  return application.exec();
}
