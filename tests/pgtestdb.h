#pragma once
// A database of its own on the PostgreSQL server the tests run against
// ($KELVARA_TEST_PG, started by scripts/test): made on request, named by the
// caller, given back as the URL the archive opens.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QUrl>

namespace PgTestDb {

// The URL of a new database `name` on `server`; an empty text when the server
// cannot be reached.
inline QString Make(const QString& server, const QString& name) {
  const QString connection = QStringLiteral("pg-test-admin-") + name;
  bool made = false;
  {
    QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
    const QUrl url(server);
    admin.setHostName(url.host());
    admin.setPort(url.port());
    admin.setUserName(url.userName());
    admin.setDatabaseName(url.path().mid(1));
    if (admin.open()) {
      QSqlQuery(admin).exec(QStringLiteral("CREATE DATABASE %1").arg(name));
      made = true;
    }
    admin.close();
  }
  QSqlDatabase::removeDatabase(connection);
  if (!made) return QString();
  QUrl url(server);
  url.setPath(QLatin1Char('/') + name);
  return url.toString();
}

}  // namespace PgTestDb
