#include "tests/cupstestserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <cstdlib>
#include <dlfcn.h>
#include <memory>
#include <unistd.h>

namespace {

QString Run(const QString& program, const QStringList& arguments, int* code = nullptr, QString* errors = nullptr) {
  QProcess p;
  p.start(program, arguments);
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished();
  }
  if (code) *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  if (errors) *errors = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
  return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The print system's own switch of server, as Qt's print support uses it.
using SetServer = void (*)(const char*);
SetServer CupsSetServer() {
  static void* library = ::dlopen("libcups.so.2", RTLD_NOW | RTLD_GLOBAL);
  return library ? reinterpret_cast<SetServer>(::dlsym(library, "cupsSetServer")) : nullptr;
}

}  // namespace

struct CupsTestServerOwner {
  std::unique_ptr<CupsTestServer> server;
  QString why;
  bool tried = false;
};

namespace {
CupsTestServerOwner g_owner;
}

CupsTestServer::~CupsTestServer() {
  // A server this process started stops with it (after the application).
  if (!dir_.isEmpty()) {
    const QByteArray command = "'" + QFile::encodeName(QStringLiteral(KELVARA_SOURCE_DIR "/scripts/cups-test-server")) +
                               "' stop '" + QFile::encodeName(dir_) + "' >/dev/null 2>&1";
    if (std::system(command.constData()) != 0) {
    }
  }
}

CupsTestServer* CupsTestServer::Get(QString* why) {
  if (!g_owner.tried) {
    g_owner.tried = true;
    auto server = std::unique_ptr<CupsTestServer>(new CupsTestServer);
    QString address = qEnvironmentVariable("KELVARA_TEST_CUPS");
    if (address.isEmpty()) {
      if (QStandardPaths::findExecutable(QStringLiteral("cupsd"), {"/usr/sbin", "/usr/local/sbin"}).isEmpty()) {
        g_owner.why = QStringLiteral("CUPS ist nicht installiert (scripts/setup installiert es)");
      } else {
        server->dir_ = QDir::temp().filePath(QStringLiteral("kelvara-cups-test-%1").arg(::getpid()));
        int code = 0;
        QString errors;
        address = Run(QStringLiteral(KELVARA_SOURCE_DIR "/scripts/cups-test-server"), {"start", server->dir_}, &code, &errors)
                      .trimmed();
        if (code != 0 || address.isEmpty()) {
          g_owner.why = QStringLiteral("der Druckserver startet nicht: ") + errors;
          address.clear();
        }
      }
    }
    if (!address.isEmpty()) {
      int code = 0;
      Run(QStringLiteral("lpstat"), {"-h", address, "-r"}, &code);
      if (code != 0) g_owner.why = QStringLiteral("der Druckserver %1 antwortet nicht").arg(address);
      else if (!CupsSetServer()) g_owner.why = QStringLiteral("libcups fehlt");
      else server->address_ = address;
    }
    if (!server->address_.isEmpty() || !server->dir_.isEmpty()) g_owner.server = std::move(server);
  }
  if (g_owner.server && !g_owner.server->address_.isEmpty()) return g_owner.server.get();
  if (why) *why = g_owner.why;
  return nullptr;
}

bool CupsTestServer::AddQueue(const QString& name, const QString& output, const QString& model, const QString& ppd,
                              QString* why) {
  QStringList arguments{"-h", address_, "-p", name, "-E", "-v", QStringLiteral("file://") + QFileInfo(output).absoluteFilePath()};
  if (!ppd.isEmpty()) arguments << "-P" << ppd;
  if (!model.isEmpty()) arguments << "-m" << model;
  int code = 0;
  QString errors;
  // A server just started may not take administration yet: asked again for
  // up to 10 s while it cannot be reached.
  QElapsedTimer clock;
  clock.start();
  do {
    Run(QStringLiteral("lpadmin"), arguments, &code, &errors);
    if (code == 0 || !errors.contains(QStringLiteral("Unable to connect"))) break;
    QThread::msleep(100);
  } while (clock.elapsed() < 10000);
  if (code != 0 && why) *why = QStringLiteral("lpadmin: ") + errors;
  return code == 0;
}

void CupsTestServer::RemoveQueue(const QString& name) { Run(QStringLiteral("lpadmin"), {"-h", address_, "-x", name}); }

bool CupsTestServer::WaitForJobs(const QString& name, int ms, QString* why) {
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    const QString pending = Run(QStringLiteral("lpstat"), {"-h", address_, "-o", name}).trimmed();
    if (pending.isEmpty()) break;
    if (clock.elapsed() > ms) {
      if (why) *why = QStringLiteral("nach %1 ms noch nicht gedruckt: %2").arg(ms).arg(pending);
      return false;
    }
    QThread::msleep(50);
  }
  // A job that failed stops its queue.
  const QString state = Run(QStringLiteral("lpstat"), {"-h", address_, "-p", name});
  if (state.contains(QStringLiteral("disabled"))) {
    if (why) *why = state;
    return false;
  }
  return true;
}

QStringList CupsTestServer::Models(const QString& pattern) {
  QStringList models;
  for (const QString& line : Run(QStringLiteral("lpinfo"), {"-h", address_, "-m"}).split('\n'))
    if (line.contains(pattern)) models << line.section(' ', 0, 0);
  return models;
}

CupsTestServer::Use::Use(const CupsTestServer& server) {
  if (SetServer set = CupsSetServer()) set(server.Address().toLocal8Bit().constData());
}

CupsTestServer::Use::~Use() {
  // Back to the tests' default: a place where no server answers.
  if (SetServer set = CupsSetServer()) set(nullptr);
}
