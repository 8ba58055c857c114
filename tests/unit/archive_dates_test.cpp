// The date a report is filed under in the archive, from the ways a form
// holds it; no database needed.
#include <gtest/gtest.h>

#include <QDate>

#include "core/archive.h"
#include "core/reportrecord.h"

// The test date the archive files a report under: the forms' ways of writing it.
TEST(ArchiveDates, TheTestDateOfAReport) {
  ReportRecord r;
  const QDate fallback(2000, 1, 1);
  const int yy = QDate::currentDate().year() % 100;
  const std::pair<QString, QDate> cases[] = {
      {"05.03.2026", QDate(2026, 3, 5)},
      {"5.3.2026", QDate(2026, 3, 5)},
      {"2026-03-05", QDate(2026, 3, 5)},
      {QString("05.03.%1").arg(yy, 2, 10, QChar('0')), QDate(2000 + yy, 3, 5)},  // was filed under 19xx
      {"05.03.98", QDate(1998, 3, 5)},
      {"gestern", fallback},
  };
  for (const auto& [text, date] : cases) {
    r.Fields[25] = text;
    EXPECT_EQ(Archive::TestDate(r, fallback), date) << text.toStdString();
  }
}
