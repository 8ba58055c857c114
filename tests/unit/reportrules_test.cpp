// A report under the standards in force today: Kopieren of a tester's record
// under the standard the user chose, limits that follow the cord, what the
// record must say, and the keys of the data record file that carry it.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/profile.h"
#include "core/reportrules.h"

namespace {

// A record of the tester's "VDE 0701 / 0702", class I, as the device window shows it.
DeviceSnapshot Tester(const QString& rpe) {
  DeviceSnapshot device;
  device.VdePruefgrundlage = 4;
  device.VdeKlasse = 1;
  for (int& a : device.MeasurementAvailable) a = 1;
  device.ValueText = {rpe, QStringLiteral("Overflow"), QStringLiteral("  0.120"), QStringLiteral("  0.300")};
  device.LimitText = {QStringLiteral(" 0.30"), QStringLiteral(" 1.00"), QStringLiteral(" 3.50"), QStringLiteral(" 3.50")};
  device.DeviceText = QStringLiteral("QK248");
  return device;
}

ReportRecord Kopieren(const DeviceSnapshot& device, const ReportRecord& form) {
  ReportRecord record = form;
  Report::Evaluate(device, &record);
  Report::ReportUnderChoice(device, {}, &record);
  return record;
}

QByteArray Bytes(const ReportRecord& record) {
  QByteArray bytes;
  EXPECT_EQ(Report::Encode(record, &bytes).status, Report::WriteResult::Ok);
  return bytes;
}

TEST(ReportUnderChoice, TheCordDecidesTheProtectiveConductorLimit) {
  ReportRecord form;
  form.NormFuer0701 = Profiles::kEn50699;
  form.Leitungslaenge = QStringLiteral("10");
  ReportRecord report = Kopieren(Tester(QStringLiteral("  0.350")), form);
  EXPECT_EQ(report.VdePruefgrundlage, Profiles::kEn50699);
  EXPECT_EQ(report.GrenzText[0], QStringLiteral(" 0.40"));
  EXPECT_TRUE(report.Ok[0]);
  EXPECT_EQ(report.RowActive, (std::array<int, 8>{1, 1, 1, 1, 0, 0, 0, 0}));
  // The same appliance on a 2 m cord fails.
  form.Leitungslaenge = QStringLiteral("2");
  report = Kopieren(Tester(QStringLiteral("  0.350")), form);
  EXPECT_EQ(report.GrenzText[0], QStringLiteral(" 0.30"));
  EXPECT_FALSE(report.Ok[0]);
  EXPECT_EQ(Report::GesamtOk(report), 0);
  // Without a choice the tester's own standard stays, exactly as before.
  ReportRecord plain;
  plain.Leitungslaenge = QStringLiteral("10");
  report = Kopieren(Tester(QStringLiteral("  0.350")), plain);
  EXPECT_EQ(report.VdePruefgrundlage, 4);
  EXPECT_EQ(report.GrenzText[0], QStringLiteral(" 0.30"));
  EXPECT_FALSE(report.Ok[0]);
}

TEST(ReportUnderChoice, ALimitTheUserTypedStaysAndTheUsersChangesFollow) {
  ReportRecord form;
  form.NormFuer0701 = Profiles::kEn50678;
  DeviceSnapshot device = Tester(QStringLiteral("  0.350"));
  device.LimitText[0] = QStringLiteral("0.5");  // typed in the device window
  ReportRecord report = Kopieren(device, form);
  EXPECT_EQ(report.GrenzText[0], QStringLiteral("0.5"));
  EXPECT_TRUE(report.Ok[0]);
  EXPECT_EQ(report.GrenzText[1], QStringLiteral(" 1.00"));

  // The cord changes: a row with the standard's limit follows, the user's stays.
  device.LimitText[0] = QStringLiteral(" 0.30");
  report = Kopieren(device, form);
  ReportRecord before = report;
  report.Leitungslaenge = QStringLiteral("12,5");
  report.Geraeteart = int(Profiles::Kind::Heating);
  report.Fields[Layout::kFieldLeistung] = QStringLiteral("6 kW");
  report.GrenzText[3] = QStringLiteral("5");  // a limit of his own
  before.GrenzText[3] = QStringLiteral("5");
  Report::Relimit(before, {}, &report);
  EXPECT_EQ(report.GrenzText[0], QStringLiteral(" 0.40"));
  EXPECT_TRUE(report.Ok[0]);
  EXPECT_EQ(report.GrenzText[1], QStringLiteral(" 0.30"));  // heating elements
  EXPECT_EQ(report.GrenzText[2], QStringLiteral(" 6.00"));
  EXPECT_EQ(report.GrenzText[3], QStringLiteral("5"));

  // Back under the tester's own standard: its defaults again.
  before = report;
  report.VdePruefgrundlage = 4;
  Report::Relimit(before, {}, &report);
  EXPECT_EQ(report.GrenzText[0], QStringLiteral(" 0.30"));
  EXPECT_FALSE(report.Ok[0]);
  EXPECT_EQ(report.GrenzText[3], QStringLiteral("5"));

  // A profile of the user's own names itself; one that is not there is not named.
  Profiles::UserProfile strict;
  strict.name = QStringLiteral("Streng");
  strict.standard = Profiles::kEn50678;
  strict.limits[0][0] = QStringLiteral("0.2");
  before = report;
  report.VdePruefgrundlage = Profiles::kEn50678;
  report.Grenzwertprofil = QStringLiteral("streng");
  Report::Relimit(before, {strict}, &report);
  EXPECT_EQ(report.GrenzText[0], QStringLiteral(" 0.20"));
  EXPECT_EQ(report.Grenzwertprofil, QStringLiteral("Streng"));
  before = report;
  report.Grenzwertprofil.clear();  // the standard's limits again
  Report::Relimit(before, {strict}, &report);
  EXPECT_EQ(report.GrenzText[0], QStringLiteral(" 0.40"));
  before = report;
  report.Grenzwertprofil = QStringLiteral("Gibt es nicht");
  Report::Relimit(before, {strict}, &report);
  EXPECT_TRUE(report.Grenzwertprofil.isEmpty());
  EXPECT_EQ(report.GrenzText[0], QStringLiteral(" 0.40"));
}

TEST(RecordRules, WhatAReportLacksIsNamed) {
  ReportRecord report;
  report.VdePruefgrundlage = Profiles::kEn50699;
  EXPECT_EQ(Report::Missing(report),
            QStringList({"Name des Prüfers", "Messgerät", "Prüfdatum", "Anlass der Prüfung"}));
  report.Fields[Layout::kFieldPruefer] = QStringLiteral(", 06.12.2026, ");  // Erzeugen without a name
  report.Fields[Layout::kFieldMessgeraet] = QStringLiteral("QK248");
  report.Fields[Layout::kFieldPruefungAm] = QStringLiteral("31.02.2026");
  EXPECT_EQ(Report::Missing(report), QStringList({"Name des Prüfers", "Prüfdatum", "Anlass der Prüfung"}));
  report.Fields[Layout::kFieldPruefer] = QStringLiteral("Musterstadt, 06.12.2026, Jana Kühn");
  report.Fields[Layout::kFieldPruefungAm] = QStringLiteral("6.12.2026");
  report.Anlass = 2;
  EXPECT_TRUE(Report::Missing(report).isEmpty());
  // The reports of the tester's era are not asked (their page has no reason).
  report.Anlass = 0;
  report.Fields[Layout::kFieldPruefer].clear();
  report.VdePruefgrundlage = 4;
  EXPECT_TRUE(Report::Missing(report).isEmpty());
  EXPECT_EQ(Report::MissingText({"Messgerät", "Prüfdatum"}), QStringLiteral("Im Prüfbericht fehlt: Messgerät, Prüfdatum."));
}

TEST(RecordRules, ScopeMethodAndThePreviousTest) {
  ReportRecord form;
  form.NormFuer0701 = Profiles::kEn50699;
  ReportRecord report = Kopieren(Tester(QStringLiteral("  0.350")), form);
  EXPECT_EQ(Report::Scope(report), QStringLiteral("Sichtprüfung, Schutzleiterwiderstand, Isolationswiderstand, "
                                                  "Schutzleiterstrom, Funktionsprüfung"));
  EXPECT_EQ(Report::Method(report, 3), QStringLiteral("Ersatzableitstromverfahren"));
  report.Methode[2] = QStringLiteral("direktes Verfahren");
  EXPECT_EQ(Report::Method(report, 2), QStringLiteral("direktes Verfahren"));

  Comparison::Previous previous;
  previous.found = true;
  previous.date = QDate(2025, 3, 12);
  previous.measured = {"  0.200", "Overflow", "  0.110", "  0.150", "", "", "", ""};
  Report::SetPrevious(previous, &report);
  EXPECT_EQ(report.Vorpruefung, QStringLiteral("12.03.2025"));
  EXPECT_EQ(report.Vorwert[0], QStringLiteral("0.200"));
  EXPECT_TRUE(Report::Compared(report, 0).warn);   // 0.200 -> 0.350
  EXPECT_TRUE(Report::Compared(report, 3).warn);   // 0.150 -> 0.300
  EXPECT_FALSE(Report::Compared(report, 2).warn);  // 0.110 -> 0.120
  Report::SetPrevious(Comparison::Previous{}, &report);
  EXPECT_TRUE(report.Vorpruefung.isEmpty());
  EXPECT_TRUE(report.Vorwert[0].isEmpty());
}

TEST(RecordFile, TheNewKeysReadBackAndAReportWithoutThemIsWrittenAsBefore) {
  ReportRecord form;
  ReportRecord plain = Kopieren(Tester(QStringLiteral("  0.150")), form);
  const QByteArray before = Bytes(plain);
  for (const char* key : {"Anlass", "Pruefumfang", "METHODE_", "VORWERT_", "Leitung", "Geraeteart", "Grenzwertprofil",
                          "NormFuer"})
    EXPECT_FALSE(before.contains(key)) << key;

  ReportRecord full = plain;
  full.VdePruefgrundlage = Profiles::kEn62353;
  full.Anlass = 3;
  full.Pruefumfang = QStringLiteral("Sichtprüfung, Messungen");
  full.Methode[2] = QStringLiteral("direktes Verfahren");
  full.Vorwert = {"0.200", "Overflow", "0.110", "0.150", "", "", "", ""};
  full.Vorpruefung = QStringLiteral("12.03.2025");
  full.Leitungslaenge = QStringLiteral("2,5");
  full.Leitungsquerschnitt = QStringLiteral("1,5");
  full.Geraeteart = int(Profiles::Kind::Heating);
  full.Grenzwertprofil = QStringLiteral("Küche");
  full.NormFuer0701 = Profiles::kEn50678;
  full.NormFuer0751 = Profiles::kEn62353;
  const QByteArray bytes = Bytes(full);
  EXPECT_TRUE(bytes.contains("Anlass=nach Instandsetzung\r\n"));
  EXPECT_TRUE(bytes.contains("VORWERT_RPE=0.200\r\n"));
  EXPECT_TRUE(bytes.contains("Grenzwertprofil=K\xfc" "che\r\n"));  // cp1252
  // The keys of the page of the tester's era come first and mean what they meant.
  EXPECT_TRUE(bytes.startsWith(before.left(before.indexOf("VDEPruefgrundlage"))));
  EXPECT_LT(bytes.indexOf("Funktionspruefung="), bytes.indexOf("Anlass="));
  ReportRecord read;
  ASSERT_EQ(Report::ReadBytes(bytes, &read).status, Report::ReadResult::Ok);
  EXPECT_EQ(read.Anlass, full.Anlass);
  EXPECT_EQ(read.Pruefumfang, full.Pruefumfang);
  EXPECT_EQ(read.Methode, full.Methode);
  EXPECT_EQ(read.Vorwert, full.Vorwert);
  EXPECT_EQ(read.Vorpruefung, full.Vorpruefung);
  EXPECT_EQ(read.Leitungslaenge, full.Leitungslaenge);
  EXPECT_EQ(read.Leitungsquerschnitt, full.Leitungsquerschnitt);
  EXPECT_EQ(read.Geraeteart, full.Geraeteart);
  EXPECT_EQ(read.Grenzwertprofil, full.Grenzwertprofil);
  EXPECT_EQ(read.NormFuer0701, full.NormFuer0701);
  EXPECT_EQ(read.NormFuer0751, full.NormFuer0751);
  EXPECT_EQ(read.MessText, full.MessText);
  // A choice that belongs to the other family is no choice.
  ReportRecord odd;
  ASSERT_EQ(Report::ReadBytes("[TEXT_EDIT_SETTINGS]\r\nNormFuerVDE0701_0702=8\r\nNormFuerVDE0751=6\r\n", &odd).status,
            Report::ReadResult::Ok);
  EXPECT_EQ(odd.NormFuer0701, 4);
  EXPECT_EQ(odd.NormFuer0751, 5);
}

TEST(RecordFile, WritingIntoAFileKeepsUnknownKeysAndEmptiesWhatTheReportNoLongerSays) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("bericht.ini"));
  ReportRecord report = Kopieren(Tester(QStringLiteral("  0.150")), ReportRecord());
  report.Anlass = 2;
  report.Leitungslaenge = QStringLiteral("10");
  ASSERT_EQ(Report::Write(path, report).status, Report::WriteResult::Ok);
  {
    // A newer program's key, and one of another program's section.
    TProfile profile(QString::fromLatin1(Report::kSection), path);
    ASSERT_TRUE(profile.WriteString(QStringLiteral("KuenftigerSchluessel"), QStringLiteral("bleibt")));
    ASSERT_TRUE(profile.Flush());
  }
  report.Anlass = 0;
  report.Leitungslaenge.clear();
  ASSERT_EQ(Report::Write(path, report).status, Report::WriteResult::Ok);
  ReportRecord read;
  ASSERT_EQ(Report::Read(path, &read).status, Report::ReadResult::Ok);
  EXPECT_EQ(read.Anlass, 0);
  EXPECT_TRUE(read.Leitungslaenge.isEmpty());
  EXPECT_EQ(TProfile(QString::fromLatin1(Report::kSection), path).GetString(QStringLiteral("KuenftigerSchluessel"), 50),
            QStringLiteral("bleibt"));
}

TEST(RecordFile, AFileOfACurrentStandardHasNoRowsFourToSeven) {
  ReportRecord read;
  ASSERT_EQ(Report::ReadBytes("[TEXT_EDIT_SETTINGS]\r\nVDEPruefgrundlage=6\r\nVDEKlasse=2\r\nMESS_RISO=12.0\r\n"
                              "MESS_IB=1.0\r\n",
                              &read)
                .status,
            Report::ReadResult::Ok);
  EXPECT_EQ(read.RowActive, (std::array<int, 8>{0, 1, 1, 1, 0, 0, 0, 0}));
}

}  // namespace
