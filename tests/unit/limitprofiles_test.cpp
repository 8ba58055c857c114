// The limits of the standards in force today against their published values,
// the protective-conductor limit from the cord, appliances with heating
// elements, the user's own profiles, and the comparison with earlier tests.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "core/comparison.h"
#include "core/limitprofiles.h"
#include "core/places.h"
#include "tests/smalldisk.h"

namespace {

constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

// The published limits, one line per standard and class: R-PE (Ohm, up to
// 5 m of cord), R-ISO (MOhm, at least), I-ABL and I-EA (mA); -1: the row is
// not part of the test. The source is the one the test names.
struct Published {
  int standard, klasse;
  double limits[4];
  const char* source;
  const char* name;
};
const Published kPublished[] = {
    {Profiles::kEn50699, 1, {0.3, 1.0, 3.5, 3.5},
     "DIN EN 50699 (VDE 0702):2021 with the limits of DIN VDE 0701-0702:2008: R-PE 0,3 Ohm (5 m), R-ISO SK I 1 MOhm, "
     "Schutzleiterstrom 3,5 mA",
     "EN50699_SK_I"},
    {Profiles::kEn50699, 2, {-1, 2.0, 0.5, 0.5}, "DIN EN 50699: R-ISO SK II 2 MOhm, Berührungsstrom 0,5 mA", "EN50699_SK_II"},
    {Profiles::kEn50699, 3, {-1, 0.25, -1, -1}, "DIN EN 50699: R-ISO SK III 0,25 MOhm", "EN50699_SK_III"},
    {Profiles::kEn50678, 1, {0.3, 1.0, 3.5, 3.5}, "DIN EN 50678 (VDE 0701):2021, as DIN VDE 0701-0702:2008", "EN50678_SK_I"},
    {Profiles::kEn50678, 2, {-1, 2.0, 0.5, 0.5}, "DIN EN 50678: R-ISO SK II 2 MOhm, Berührungsstrom 0,5 mA", "EN50678_SK_II"},
    {Profiles::kEn50678, 3, {-1, 0.25, -1, -1}, "DIN EN 50678: R-ISO SK III 0,25 MOhm", "EN50678_SK_III"},
    {Profiles::kEn62353, 1, {0.3, 2.0, 0.5, 1.0},
     "DIN EN 62353 (VDE 0751-1):2015 = IEC 62353:2014: R-PE 0,3 Ohm with cord, R-ISO 2 MOhm (informative), "
     "Table 2 equipment leakage current direct/differential 0,5 mA, alternative 1 mA",
     "EN62353_SK_I"},
    {Profiles::kEn62353, 2, {-1, 7.0, 0.1, 0.5}, "IEC 62353:2014 Table 2: class II 0,1 mA direct, 0,5 mA alternative",
     "EN62353_SK_II"},
    {Profiles::kEn62353, 3, {-1, 7.0, -1, -1}, "no class III in IEC 62353: insulation as DIN VDE 0751", "EN62353_SK_III"},
};

class PublishedLimits : public testing::TestWithParam<Published> {};

TEST_P(PublishedLimits, TableAndComputedLimitsAreThePublishedOnes) {
  const Published& p = GetParam();
  SCOPED_TRACE(p.source);
  const Profiles::Limits computed = Profiles::Compute(p.standard, p.klasse, Profiles::Appliance{});
  for (int r = 0; r < kDeviceRowCount; ++r) {
    const Profiles::Cell& cell = Profiles::TableCell(p.standard, p.klasse, r);
    EXPECT_EQ(cell.applies, p.limits[r] >= 0) << "row " << r;
    EXPECT_EQ(computed.rows[size_t(r)].applies, p.limits[r] >= 0) << "row " << r;
    if (p.limits[r] < 0) continue;
    EXPECT_DOUBLE_EQ(cell.limit, p.limits[r]) << "row " << r;
    EXPECT_DOUBLE_EQ(computed.rows[size_t(r)].value, p.limits[r]) << "row " << r;
    EXPECT_STRNE(cell.source, "") << "row " << r;
  }
}

INSTANTIATE_TEST_SUITE_P(Standards, PublishedLimits, testing::ValuesIn(kPublished),
                         [](const testing::TestParamInfo<Published>& info) { return std::string(info.param.name); });

TEST(ProtectiveConductor, TheCordsLengthAndCrossSectionAtTheCorners) {
  // Up to 1.5 mm^2: 0.3 Ohm up to 5 m, 0.1 Ohm more for each further 7.5 m begun, at most 1 Ohm.
  struct {
    double length, section, limit;
  } corners[] = {
      {kUnknown, kUnknown, 0.3}, {0, 1.5, 0.3},     {5, 1.5, 0.3},      {5.01, 1.5, 0.4}, {10, 1.5, 0.4},
      {12.5, 1.5, 0.4},          {12.51, 1.5, 0.5}, {50, 1.5, 0.9},     {50.1, 1.5, 1.0}, {57.5, 1.5, 1.0},
      {57.6, 1.5, 1.0},          {500, 1.5, 1.0},   {12.5, 0.75, 0.4},  {12.5, kUnknown, 0.4},
      // Above 1.5 mm^2: 0.1 Ohm and the cord's l / (56 * A), at most 1 Ohm.
      {5, 2.5, 0.1 + 5 / 140.0}, {12.5, 2.5, 0.1 + 12.5 / 140.0}, {57.5, 2.5, 0.1 + 57.5 / 140.0},
      {126, 2.5, 1.0},           {200, 2.5, 1.0},   {kUnknown, 2.5, 0.1},
  };
  for (const auto& c : corners)
    EXPECT_NEAR(Profiles::ProtectiveConductorLimit(c.length, c.section), c.limit, 1e-9)
        << c.length << " m, " << c.section << " mm2";
  // As the report holds them: two decimals, three where two would round the
  // limit, and an upper limit is never rounded up.
  Profiles::Appliance cord;
  cord.cordLengthM = 5;
  cord.crossSectionMm2 = 2.5;
  EXPECT_EQ(Profiles::Compute(Profiles::kEn50699, 1, cord).rows[0].text, QStringLiteral("0.135"));
  cord.cordLengthM = 10;
  cord.crossSectionMm2 = 1.5;
  const Profiles::RowLimit ten = Profiles::Compute(Profiles::kEn50678, 1, cord).rows[0];
  EXPECT_EQ(ten.text, QStringLiteral(" 0.40"));
  EXPECT_EQ(ten.basis, QStringLiteral("10 m Leitung, 1,5 mm²"));
  // Medical equipment: 0.3 Ohm whatever the cord.
  EXPECT_DOUBLE_EQ(Profiles::Compute(Profiles::kEn62353, 1, cord).rows[0].value, 0.3);
  EXPECT_EQ(Profiles::LimitText(1, 0.3333), QStringLiteral("0.334"));  // a lower limit is never rounded down
}

TEST(ProtectiveConductor, NumbersAsTheUserTypesThem) {
  EXPECT_DOUBLE_EQ(Profiles::ParseNumber(QStringLiteral(" 2,5 ")), 2.5);
  EXPECT_DOUBLE_EQ(Profiles::ParseNumber(QStringLiteral("10")), 10);
  EXPECT_TRUE(std::isnan(Profiles::ParseNumber(QStringLiteral("10 m"))));
  EXPECT_TRUE(std::isnan(Profiles::ParseNumber(QString())));
  EXPECT_DOUBLE_EQ(Profiles::ParsePowerKw(QStringLiteral("2,2 kW")), 2.2);
  EXPECT_DOUBLE_EQ(Profiles::ParsePowerKw(QStringLiteral("2000 W")), 2.0);
  EXPECT_DOUBLE_EQ(Profiles::ParsePowerKw(QStringLiteral("6000")), 6.0);
  EXPECT_DOUBLE_EQ(Profiles::ParsePowerKw(QStringLiteral("6")), 6.0);
  EXPECT_TRUE(std::isnan(Profiles::ParsePowerKw(QStringLiteral("unbekannt"))));
}

TEST(ApplianceKinds, HeatingElementsHaveTheirOwnInsulationAndCurrentLimits) {
  Profiles::Appliance heater;
  heater.kind = Profiles::Kind::Heating;
  // Up to 3.5 kW the currents keep 3.5 mA; the insulation 0.3 MOhm at any power.
  heater.powerKw = 2.0;
  Profiles::Limits l = Profiles::Compute(Profiles::kEn50699, 1, heater);
  EXPECT_DOUBLE_EQ(l.rows[1].value, 0.3);
  EXPECT_DOUBLE_EQ(l.rows[2].value, 3.5);
  // Above 3.5 kW: 1 mA per kW, at most 10 mA.
  heater.powerKw = 6.0;
  l = Profiles::Compute(Profiles::kEn50678, 1, heater);
  EXPECT_DOUBLE_EQ(l.rows[2].value, 6.0);
  EXPECT_DOUBLE_EQ(l.rows[3].value, 6.0);
  EXPECT_EQ(l.rows[2].basis, QStringLiteral("Heizelemente 6 kW"));
  heater.powerKw = 14.0;
  EXPECT_DOUBLE_EQ(Profiles::Compute(Profiles::kEn50699, 1, heater).rows[3].value, 10.0);
  // Class II and medical equipment keep their tables.
  EXPECT_DOUBLE_EQ(Profiles::Compute(Profiles::kEn50699, 2, heater).rows[1].value, 2.0);
  EXPECT_DOUBLE_EQ(Profiles::Compute(Profiles::kEn62353, 1, heater).rows[2].value, 0.5);
  // No limits at all for the tester's own codes or unknown classes.
  EXPECT_FALSE(Profiles::Compute(4, 1, heater).rows[0].applies);
  EXPECT_FALSE(Profiles::Compute(Profiles::kEn50699, 0, heater).rows[1].applies);
}

TEST(UserProfiles, AProfileReplacesSingleValuesOfItsStandardOnly) {
  Profiles::UserProfile strict;
  strict.name = QStringLiteral("Werkstatt streng");
  strict.standard = Profiles::kEn50699;
  strict.limits[0][1] = QStringLiteral("2,0");  // class I insulation
  Profiles::Appliance cord;
  cord.cordLengthM = 20;
  const Profiles::Limits l = Profiles::Compute(Profiles::kEn50699, 1, cord, &strict);
  EXPECT_DOUBLE_EQ(l.rows[1].value, 2.0);
  EXPECT_TRUE(l.rows[1].own);
  EXPECT_EQ(l.rows[1].basis, QStringLiteral("Profil \u201EWerkstatt streng\u201C"));
  EXPECT_DOUBLE_EQ(l.rows[0].value, 0.5);  // the cord rule where the profile says nothing
  EXPECT_DOUBLE_EQ(Profiles::Compute(Profiles::kEn50678, 1, cord, &strict).rows[1].value, 1.0);
}

TEST(UserProfiles, KeptWithTheSettingsAndWrittenWholeOrNotAtAll) {
  QTemporaryDir dir;
  Places::Scoped places({dir.filePath(QStringLiteral("einstellungen")), QString()});
  std::vector<Profiles::UserProfile> profiles;
  QString error;
  ASSERT_TRUE(Profiles::LoadUserProfiles(&profiles, &error));  // no file: no profile
  EXPECT_TRUE(profiles.empty());

  Profiles::UserProfile a;
  a.name = QStringLiteral("Küche");
  a.standard = Profiles::kEn50678;
  a.limits[1][2] = QStringLiteral("0,25");
  Profiles::UserProfile b;
  b.name = QStringLiteral("Medizin");
  b.standard = Profiles::kEn62353;
  ASSERT_TRUE(Profiles::SaveUserProfiles({a, b}, &error)) << error.toStdString();
  EXPECT_TRUE(Profiles::UserProfilesFile().startsWith(dir.filePath(QStringLiteral("einstellungen"))));
  ASSERT_TRUE(Profiles::LoadUserProfiles(&profiles, &error));
  ASSERT_EQ(profiles.size(), 2u);
  EXPECT_EQ(profiles[0].name, a.name);
  EXPECT_EQ(profiles[0].standard, a.standard);
  EXPECT_EQ(profiles[0].limits, a.limits);
  EXPECT_EQ(Profiles::FindProfile(profiles, QStringLiteral(" medizin ")), &profiles[1]);

  // What cannot be kept is refused and the file stays.
  QFile file(Profiles::UserProfilesFile());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray kept = file.readAll();
  file.close();
  Profiles::UserProfile twice = a;
  twice.name = QStringLiteral("KÜCHE");
  EXPECT_FALSE(Profiles::SaveUserProfiles({a, twice}, &error));
  EXPECT_TRUE(error.contains(QStringLiteral("zweimal")));
  Profiles::UserProfile wrong = b;
  wrong.limits[0][0] = QStringLiteral("0.3 Ohm");
  EXPECT_FALSE(Profiles::SaveUserProfiles({wrong}, &error));
  EXPECT_TRUE(error.contains(QStringLiteral("kein Grenzwert")));
  Profiles::UserProfile unstorable = b;
  unstorable.name = QStringLiteral("Ω-Profil");
  EXPECT_FALSE(Profiles::SaveUserProfiles({unstorable}, &error));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), kept);
}

TEST(UserProfiles, AFullDiskKeepsTheProfilesThatWereThere) {
  SmallDisk disk(64);
  if (!disk.Mounted()) GTEST_SKIP() << SmallDisk::SkipReason();
  Places::Scoped places({disk.Path(), QString()});
  Profiles::UserProfile a;
  a.name = QStringLiteral("Werkstatt");
  QString error;
  ASSERT_TRUE(Profiles::SaveUserProfiles({a}, &error));
  disk.Fill();
  std::vector<Profiles::UserProfile> many(40, a);
  for (size_t i = 0; i < many.size(); ++i) many[i].name = QStringLiteral("Profil mit langem Namen %1").arg(i);
  EXPECT_FALSE(Profiles::SaveUserProfiles(many, &error));
  EXPECT_TRUE(error.contains(QStringLiteral("nicht gespeichert"))) << error.toStdString();
  std::vector<Profiles::UserProfile> read;
  ASSERT_TRUE(Profiles::LoadUserProfiles(&read, &error));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].name, a.name);
}

TEST(Comparison, MedicalLeakageNearItsLimitOrUpByMoreThanHalfOr10Microampere) {
  using Comparison::Compare;
  const int medical = Profiles::kEn62353;
  // Above 90 % of the limit, whatever the test before said.
  EXPECT_TRUE(Compare(medical, 2, "0.091", "", " 0.10").warn);
  EXPECT_FALSE(Compare(medical, 2, "0.090", "", " 0.10").warn);
  // Up by more than 10 uA where half the previous value is less.
  EXPECT_TRUE(Compare(medical, 3, "0.031", "0.020", " 1.00").warn);
  EXPECT_FALSE(Compare(medical, 3, "0.030", "0.020", " 1.00").warn);
  // Up by more than half where that is more than 10 uA.
  EXPECT_TRUE(Compare(medical, 3, "0.151", "0.100", " 1.00").warn);
  EXPECT_FALSE(Compare(medical, 3, "0.150", "0.100", " 1.00").warn);
  EXPECT_TRUE(Compare(5, 2, "0.151", "0.100", " 1.00").why.contains(QStringLiteral("51 µA")));
  // The resistances of medical equipment have no such rule.
  EXPECT_FALSE(Compare(medical, 0, "0.300", "0.100", " 0.30").warn);
}

TEST(Comparison, OtherAppliancesResistanceAndCurrentsUpByHalfInsulationDownToHalf) {
  using Comparison::Compare;
  for (int standard : {4, Profiles::kEn50699, Profiles::kEn50678}) {
    SCOPED_TRACE(standard);
    EXPECT_TRUE(Compare(standard, 0, "  0.310", "0.200", " 0.30").warn);
    EXPECT_FALSE(Compare(standard, 0, "  0.300", "0.200", " 0.30").warn);  // exactly half more
    EXPECT_EQ(Compare(standard, 0, "  0.310", "0.200", " 0.30").why, QStringLiteral("R-PE +55 % seit der letzten Prüfung"));
    EXPECT_TRUE(Compare(standard, 3, "1.51", "1.00", " 3.50").warn);
    EXPECT_FALSE(Compare(standard, 2, "1.50", "1.00", " 3.50").warn);
    EXPECT_TRUE(Compare(standard, 1, "49.9", "100.0", " 1.00").warn);
    EXPECT_FALSE(Compare(standard, 1, "50.0", "100.0", " 1.00").warn);
    // Beyond the range, or nothing before: nothing to say.
    EXPECT_FALSE(Compare(standard, 1, "Overflow", "100.0", " 1.00").warn);
    EXPECT_FALSE(Compare(standard, 1, "  5.00", "Overflow", " 1.00").warn);
    EXPECT_FALSE(Compare(standard, 0, "  0.310", "", " 0.30").warn);
    // One step of the last digit shown is no change.
    EXPECT_FALSE(Compare(standard, 0, "  0.001", "0.000", " 0.30").warn);
    EXPECT_TRUE(Compare(standard, 0, "  0.002", "0.000", " 0.30").warn);
  }
}

}  // namespace
