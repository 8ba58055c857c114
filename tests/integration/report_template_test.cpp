// The user's template of the report in a real settings folder: kept across
// restarts, a damaged file named and kept, a save that fails (a full drive,
// a read-only one) said and leaving the former file as it was.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

#include "core/places.h"
#include "core/reporttemplate.h"

namespace {

ReportRecord Filled() {
  ReportRecord r;
  r.Fields[Layout::kFieldAuftraggeber] = QStringLiteral("Kunde (nicht in der Vorlage)");
  r.Fields[Layout::kFieldAuftragnehmer] = QString::fromUtf8("Prüfdienst Weiß");
  r.Fields[Layout::kFieldANPlzStadt] = QString::fromUtf8("50667 Köln");
  r.Fields[Layout::kFieldANKontaktperson] = QString::fromUtf8("Herr Groß");
  r.Fields[Layout::kFieldMessgeraet] = QStringLiteral("QK248 V1.22");
  r.Fields[Layout::kFieldNaechsteKalibrierung] = QStringLiteral("12.2027");
  r.Fields[Layout::kFieldPruefer] = QString::fromUtf8("50667 Köln, 12.03.2025, Herr Groß");
  r.Fields[Layout::kFieldUnternehmer] = QStringLiteral("Unterschrift");
  return r;
}

QByteArray Bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(ReportTemplateFile, KeptAcrossARestartWithTodaysDateInTheSignature) {
  QTemporaryDir dir;
  Places::Scoped places({dir.path() + "/config/Kelvara", QString()});
  ReportRecord empty;
  EXPECT_EQ(ReportTemplate::Load(&empty, QDate(2026, 3, 12)).status, ReportTemplate::Loaded::Status::None);
  QString error;
  ASSERT_TRUE(ReportTemplate::Save(Filled(), &error)) << error.toStdString();
  ASSERT_TRUE(ReportTemplate::File().startsWith(dir.path() + "/config/Kelvara/"));
  ReportRecord next;
  ASSERT_EQ(ReportTemplate::Load(&next, QDate(2026, 3, 12)).status, ReportTemplate::Loaded::Status::Ok);
  EXPECT_EQ(next.Fields[Layout::kFieldAuftragnehmer], QString::fromUtf8("Prüfdienst Weiß"));
  EXPECT_EQ(next.Fields[Layout::kFieldMessgeraet], "QK248 V1.22");
  EXPECT_EQ(next.Fields[Layout::kFieldPruefer], QString::fromUtf8("50667 Köln, 12.03.2026, Herr Groß"));
  EXPECT_EQ(next.Fields[Layout::kFieldUnternehmer], "Unterschrift");
  EXPECT_TRUE(next.Fields[Layout::kFieldAuftraggeber].isEmpty());  // the client is the visit's, not the template's
  EXPECT_FALSE(ReportTemplate::SameFields(next, Filled()));
  // A character the file cannot hold is refused by name, the file unchanged.
  const QByteArray before = Bytes(ReportTemplate::File());
  ReportRecord odd = Filled();
  odd.Fields[Layout::kFieldANKontaktperson] = QString::fromUtf8("Herr Ω");
  EXPECT_FALSE(ReportTemplate::Save(odd, &error));
  EXPECT_TRUE(error.contains("Kontaktperson")) << error.toStdString();
  EXPECT_EQ(Bytes(ReportTemplate::File()), before);
}

TEST(ReportTemplateFile, ADamagedFileIsNamedAndKeptAside) {
  QTemporaryDir dir;
  Places::Scoped places({dir.path(), QString()});
  for (const QByteArray& damage : {QByteArray("Auftragnehmer=ohne Abschnitt\r\n"),
                                   QByteArray("[Vorlage]\r\nAuftragnehmer=Firma\r\n") + QByteArray(3, '\0'),
                                   QByteArray("[Vorlage]\r\nkein Schl\xfc" "ssel hier\r\n")}) {
    QFile f(ReportTemplate::File());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(damage);
    f.close();
    ReportRecord report;
    const ReportTemplate::Loaded loaded = ReportTemplate::Load(&report, QDate(2026, 3, 12));
    EXPECT_EQ(loaded.status, ReportTemplate::Loaded::Status::Damaged) << damage.toStdString();
    EXPECT_TRUE(loaded.message.contains("beschädigt")) << loaded.message.toStdString();
    EXPECT_TRUE(report.Fields[Layout::kFieldAuftragnehmer].isEmpty());
    const QStringList aside = QDir(dir.path()).entryList({"vorlage.ini.beschaedigt-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(loaded.message.contains(aside[0]));
    EXPECT_EQ(Bytes(dir.filePath(aside[0])), damage);
    QFile::remove(dir.filePath(aside[0]));
  }
  // A folder where the file should be: unreadable, said, left as it is.
  QDir().mkpath(ReportTemplate::File());
  ReportRecord report;
  EXPECT_EQ(ReportTemplate::Load(&report, QDate(2026, 3, 12)).status, ReportTemplate::Loaded::Status::Unreadable);
  EXPECT_TRUE(QFileInfo(ReportTemplate::File()).isDir());
}

struct Mount {
  QTemporaryDir point;
  QByteArray where = QFile::encodeName(point.path());
  bool Make(const char* options) { return ::mount("tmpfs", where.constData(), "tmpfs", 0, options) == 0; }
  bool ReadOnly() { return ::mount("tmpfs", where.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0; }
  ~Mount() { ::umount2(where.constData(), MNT_DETACH); }
};

TEST(ReportTemplateFile, ASaveOnAFullOrReadOnlyDriveIsToldAndTheFormerFileStays) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  Mount disk;
  ASSERT_TRUE(disk.Make("size=64k")) << std::strerror(errno);
  Places::Scoped places({disk.point.path(), QString()});
  QString error;
  ASSERT_TRUE(ReportTemplate::Save(Filled(), &error)) << error.toStdString();
  const QByteArray before = Bytes(ReportTemplate::File());
  // The drive fills up.
  {
    QFile filler(disk.point.filePath("fuellung"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
  }
  ReportRecord changed = Filled();
  changed.Fields[Layout::kFieldMessgeraet] = QStringLiteral("QK248 V2.00 mit einer sehr langen Bezeichnung");
  EXPECT_FALSE(ReportTemplate::Save(changed, &error));
  EXPECT_TRUE(error.contains("kein Platz")) << error.toStdString();
  EXPECT_EQ(Bytes(ReportTemplate::File()), before);
  QFile::remove(disk.point.filePath("fuellung"));
  // The drive becomes read-only.
  ASSERT_TRUE(disk.ReadOnly()) << std::strerror(errno);
  EXPECT_FALSE(ReportTemplate::Save(changed, &error));
  EXPECT_TRUE(error.contains("schreibgeschützt")) << error.toStdString();
  EXPECT_EQ(Bytes(ReportTemplate::File()), before);
}

}  // namespace
