// A team's PostgreSQL server only the team can use: the roles that
// `archive setup-roles` makes (on the server scripts/test starts) and TLS with
// the server's certificate checked (on a server this test starts with TLS on,
// its certificate signed by a certificate authority made for it).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <unistd.h>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "core/reportrecord.h"
#include "tests/pgtestdb.h"

namespace {

ReportRecord Tested(const QString& inventar) {
  ReportRecord r;
  r.Fields[0] = QStringLiteral("Elektro Müller");
  r.Fields[17] = inventar;
  r.Fields[25] = QStringLiteral("05.01.2026");
  r.VdePruefgrundlage = 4;
  r.VdeKlasse = 1;
  r.MessText[0] = QStringLiteral("  0.12");
  r.GrenzText[0] = QStringLiteral("  0.30");
  r.RowActive[0] = 1;
  r.Ok[0] = true;
  r.Sichtpruefung = r.Funktionspruefung = true;
  return r;
}

// A statement as `user` would run it with any client; its error, or empty.
QString RunAs(const QString& location, const QString& user, const QString& sql) {
  const QString name = QStringLiteral("team-raw-%1").arg(user);
  QString error;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    const QUrl url(location);
    db.setHostName(url.host());
    db.setPort(url.port());
    db.setDatabaseName(url.path().mid(1));
    db.setUserName(user);
    if (!db.open()) {
      error = db.lastError().text();
    } else {
      QSqlQuery q(db);
      if (!q.exec(sql)) error = q.lastError().nativeErrorCode() + QLatin1Char(' ') + q.lastError().databaseText();
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
  return error;
}

QString AsUser(QString location, const QString& user) {
  QUrl url(location);
  url.setUserName(user);
  return url.toString();
}

TEST(TeamServer, TheRoleThatAddsTestsNeverChangesOneAndTheOfficeOnlyReads) {
  const QString server = qEnvironmentVariable("KELVARA_TEST_PG");
  if (server.isEmpty()) GTEST_SKIP() << "no PostgreSQL server: scripts/test starts one ($KELVARA_TEST_PG)";
  const QString tag = QString::number(::getpid());
  const QString location = PgTestDb::Make(server, QStringLiteral("team_%1").arg(tag));
  ASSERT_FALSE(location.isEmpty());
  const QString writer = QStringLiteral("pruefer_") + tag, reader = QStringLiteral("buero_") + tag;
  const QString anna = QStringLiteral("anna_") + tag, office = QStringLiteral("office_") + tag;
  {
    Archive owner;
    ASSERT_TRUE(owner.Open(location)) << owner.Error().toStdString();
    ASSERT_EQ(owner.StoreReport(Tested(QStringLiteral("INV-1"))), Archive::Stored::New);
    QStringList done;
    ASSERT_TRUE(owner.SetUpRoles(writer, reader, &done)) << owner.Error().toStdString();
    // Run again (a later migration's tables, a role given back): the same.
    ASSERT_TRUE(owner.SetUpRoles(writer, reader, &done)) << owner.Error().toStdString();
    EXPECT_FALSE(owner.SetUpRoles(QStringLiteral("Robert'); DROP TABLE tests;--"), reader, &done));
  }
  ASSERT_EQ(RunAs(location, QStringLiteral("postgres"),
                  QStringLiteral("CREATE ROLE %1 LOGIN IN ROLE %2; CREATE ROLE %3 LOGIN IN ROLE %4")
                      .arg(anna, writer, office, reader)),
            QString());

  // The tester's role stores tests, through the program's service too.
  Archive tester;
  ASSERT_TRUE(tester.Open(AsUser(location, anna))) << tester.Error().toStdString();
  qint64 id = 0;
  ASSERT_EQ(tester.StoreReport(Tested(QStringLiteral("INV-2")), 0, &id), Archive::Stored::New) << tester.Error().toStdString();
  ArchiveService service;
  service.SetLocation(AsUser(location, anna));
  QByteArray third;
  ASSERT_EQ(Report::Encode(Tested(QStringLiteral("INV-3")), &third).status, Report::WriteResult::Ok);
  EXPECT_EQ(service.Store(third), ArchiveService::Result::Stored);
  service.Shutdown();
  // It keeps the master data: sites rewritten, a name changed and taken back.
  const qint64 customer = tester.CustomerId(QStringLiteral("Elektro Müller"));
  ASSERT_GT(customer, 0) << tester.Error().toStdString();
  ArchiveData::Customer c;
  ASSERT_TRUE(tester.ReadCustomer(customer, &c)) << tester.Error().toStdString();
  for (const QStringList& sites : {QStringList{"Halle 1", "Halle 2"}, QStringList{"Halle 2"}}) {
    c.Standorte = sites;
    EXPECT_GT(tester.SaveCustomer(c), 0) << tester.Error().toStdString();
  }
  const QString name = c.Name;
  for (const QString& next : {name + QStringLiteral(" KG"), name}) {
    c.Name = next;
    EXPECT_GT(tester.SaveCustomer(c), 0) << tester.Error().toStdString();
  }
  EXPECT_EQ(tester.Sites(customer), QStringList{"Halle 2"});
  // ... and the server refuses it to change or delete one, with any client.
  for (const QString& sql : {QStringLiteral("UPDATE tests SET passed = 0 WHERE id = %1").arg(id),
                             QStringLiteral("DELETE FROM test_rows WHERE test_id = %1").arg(id),
                             QStringLiteral("DELETE FROM tests WHERE id = %1").arg(id),
                             QStringLiteral("TRUNCATE tests CASCADE"), QStringLiteral("DROP TABLE tests CASCADE")}) {
    const QString refused = RunAs(location, anna, sql);
    EXPECT_FALSE(refused.isEmpty()) << sql.toStdString();
    EXPECT_TRUE(refused.startsWith(QLatin1String("42501"))) << refused.toStdString();
  }
  // Not even the owner changes a stored test (the trigger).
  const QString owners = RunAs(location, QStringLiteral("postgres"), QStringLiteral("UPDATE tests SET passed = 0"));
  EXPECT_TRUE(owners.contains(QStringLiteral("Gespeicherte Prüfungen werden nicht geändert"))) << owners.toStdString();
  EXPECT_TRUE(tester.CheckChain().holds);

  // The office reads everything and stores nothing; it is told why.
  Archive reading;
  ASSERT_TRUE(reading.Open(AsUser(location, office), Archive::OpenMode::ExistingOnly)) << reading.Error().toStdString();
  EXPECT_EQ(reading.TestCount(), 3);
  EXPECT_EQ(reading.Appliances().size(), 3u);
  const Archive::ChainCheck check = reading.CheckChain();
  EXPECT_TRUE(check.holds) << check.first.toStdString();
  EXPECT_EQ(reading.StoreReport(Tested(QStringLiteral("INV-4"))), Archive::Stored::Failed);
  EXPECT_EQ(reading.LastFault(), Archive::Fault::ReadOnly);
  EXPECT_TRUE(reading.Error().contains(QStringLiteral("nur Lesen ist erlaubt"))) << reading.Error().toStdString();
  EXPECT_FALSE(RunAs(location, office, QStringLiteral("INSERT INTO customers (name) VALUES ('x')")).isEmpty());
  // Who may not set up roles is told so, and nothing changes.
  QStringList done;
  EXPECT_FALSE(reading.SetUpRoles(writer, reader, &done));
  EXPECT_TRUE(reading.Error().contains(QStringLiteral("Eigentümer"))) << reading.Error().toStdString();
}

// A server of this test's own with TLS only; stopped when the test ends.
class TlsServer {
 public:
  TlsServer() {
    // The server runs as the system user postgres when the tests run as root.
    QFile::setPermissions(dir_.path(), QFile::permissions(dir_.path()) | QFile::ExeOther | QFile::ReadOther);
    QProcess p;
    p.start(QStringLiteral(KELVARA_SOURCE_DIR "/scripts/pg-test-server"), {QStringLiteral("start-tls"), Dir()});
    if (p.waitForFinished(120000) && p.exitCode() == 0) url_ = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    else error_ = QString::fromLocal8Bit(p.readAllStandardError());
  }
  ~TlsServer() {
    QProcess p;
    p.start(QStringLiteral(KELVARA_SOURCE_DIR "/scripts/pg-test-server"), {QStringLiteral("stop"), Dir()});
    p.waitForFinished(60000);
  }
  QString Url() const { return url_; }
  QString Error() const { return error_; }
  QString Dir() const { return dir_.path() + QStringLiteral("/server"); }

 private:
  QTemporaryDir dir_;
  QString url_, error_;
};

TEST(TeamServer, TlsWithTheCertificateCheckedConnectsAndWhatIsNotTrustedIsRefused) {
  TlsServer server;
  ASSERT_FALSE(server.Url().isEmpty()) << server.Error().toStdString();
  // sslmode=verify-full: the server's certificate from the named authority,
  // and for the name in the address.
  Archive archive;
  ASSERT_TRUE(archive.Open(server.Url())) << archive.Error().toStdString();
  ASSERT_EQ(archive.StoreReport(Tested(QStringLiteral("INV-1"))), Archive::Stored::New);
  EXPECT_TRUE(archive.CheckChain().holds);
  archive.Close();

  struct Refused {
    QString url;
    const char* says;
  };
  QString wrongName = server.Url();
  wrongName.replace(QLatin1String("@localhost:"), QLatin1String("@127.0.0.1:"));
  // Another authority, made as an attacker would make one.
  const QString otherCa = server.Dir() + QStringLiteral("/other-ca.crt");
  QProcess openssl;
  openssl.start(QStringLiteral("openssl"), {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                                            QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                                            QStringLiteral("1"), QStringLiteral("-subj"), QStringLiteral("/CN=Andere"),
                                            QStringLiteral("-keyout"), server.Dir() + QStringLiteral("/other-ca.key"),
                                            QStringLiteral("-out"), otherCa});
  ASSERT_TRUE(openssl.waitForFinished(60000));
  QString otherAuthority = server.Url();
  otherAuthority.replace(QRegularExpression(QStringLiteral("sslrootcert=.*$")), QStringLiteral("sslrootcert=") + otherCa);
  QString noFile = server.Url();
  noFile.replace(QRegularExpression(QStringLiteral("sslrootcert=.*$")), QStringLiteral("sslrootcert=/nicht/da.crt"));
  const QString withoutTls = server.Url().section(QLatin1Char('?'), 0, 0) + QStringLiteral("?sslmode=disable");
  for (const Refused& r : {Refused{wrongName, "lautet nicht auf den Rechnernamen"},
                           Refused{otherAuthority, "ist nicht bestätigt"},
                           Refused{noFile, "Datei der Zertifizierungsstelle"},
                           Refused{withoutTls, "nimmt nur verschlüsselte Verbindungen an"}}) {
    EXPECT_FALSE(archive.Open(r.url)) << r.url.toStdString();
    EXPECT_EQ(archive.LastFault(), Archive::Fault::Config) << r.url.toStdString();
    EXPECT_TRUE(archive.Error().contains(QString::fromUtf8(r.says))) << archive.Error().toStdString();
  }
  // verify-ca checks the authority only: the address by number is taken.
  QString byNumber = wrongName;
  byNumber.replace(QLatin1String("verify-full"), QLatin1String("verify-ca"));
  EXPECT_TRUE(archive.Open(byNumber)) << archive.Error().toStdString();
}

TEST(TeamServer, AClientAskingForTlsFromAServerWithoutItIsRefusedWithWhatToDo) {
  const QString server = qEnvironmentVariable("KELVARA_TEST_PG");
  if (server.isEmpty()) GTEST_SKIP() << "no PostgreSQL server: scripts/test starts one ($KELVARA_TEST_PG)";
  Archive archive;
  for (const char* mode : {"require", "verify-full"}) {
    EXPECT_FALSE(archive.Open(server + QStringLiteral("?sslmode=") + QLatin1String(mode)));
    EXPECT_EQ(archive.LastFault(), Archive::Fault::Config);
    EXPECT_TRUE(archive.Error().contains(QStringLiteral("bietet keine verschlüsselte Verbindung (TLS) an")))
        << archive.Error().toStdString();
  }
  // A mistyped address is named before anything is tried.
  for (const char* bad : {"?sslmode=yes", "?sslmod=require", "?sslrootcert="}) {
    QString why;
    EXPECT_FALSE(Archive::CheckLocation(server + QLatin1String(bad), &why)) << bad;
  }
}

}  // namespace
