#include "tools/kelvara-cli/jsonout.h"

#include <QJsonValue>

#include "core/layout.h"

namespace JsonOut {
namespace {

// A value or limit as the list shows it ("  0.150", "0.30"): its number, or
// null for an empty cell, "?", "Overflow" or anything else that is not one.
QJsonValue Number(const QString& text) {
  bool ok = false;
  const double value = text.trimmed().toDouble(&ok);
  return ok ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

// 1 true, 0 false, anything else (not judged, open) null.
QJsonValue Judged(int state) { return state < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(state == 1); }

QJsonValue Date(const QDate& date) {
  return date.isValid() ? QJsonValue(date.toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null);
}

}  // namespace

QJsonObject Record(const ListEntry& entry, const ApplianceData& data, const ReportRecord& report) {
  QJsonObject o;
  o.insert(QStringLiteral("nr"), entry.Number);
  o.insert(QStringLiteral("norm"), entry.StandardText);
  o.insert(QStringLiteral("schutzklasse"), entry.ClassText);
  for (int r = 0; r < kDeviceRowCount; ++r) {
    const QString key = QString::fromLatin1(kRowKeys[r]);
    o.insert(key + QStringLiteral("_mess"), Number(entry.Value[r]));
    o.insert(key + QStringLiteral("_ueberlauf"), entry.Value[r].trimmed() == QLatin1String("Overflow"));
    o.insert(key + QStringLiteral("_grenzwert"), Number(entry.Limit[r]));
    o.insert(key + QStringLiteral("_ok"), Judged(entry.RowResult[r]));
  }
  o.insert(QStringLiteral("inventar_nr"), data.InventarNr);
  o.insert(QStringLiteral("bezeichnung"), data.Bezeichnung);
  o.insert(QStringLiteral("hersteller_typ"), data.HerstellerTyp);
  o.insert(QStringLiteral("standort"), data.Standort);
  o.insert(QStringLiteral("bemerkungen"), data.Bemerkungen);
  // The report holds the date as the page prints it (TT.MM.JJJJ); a text
  // that is no date stays as it is.
  const QString date = report.Fields[Layout::kFieldPruefungAm];
  const QDate parsed = QDate::fromString(date, QStringLiteral("dd.MM.yyyy"));
  o.insert(QStringLiteral("pruefdatum"), parsed.isValid() ? parsed.toString(Qt::ISODate) : date);
  o.insert(QStringLiteral("messung_ok"), entry.Read ? QJsonValue(entry.Measured == 1) : QJsonValue(QJsonValue::Null));
  o.insert(QStringLiteral("sichtpruefung"), Judged(entry.Sicht));
  o.insert(QStringLiteral("funktionspruefung"), Judged(entry.Funktion));
  o.insert(QStringLiteral("ergebnis"), entry.Read ? RecordList::VerdictText(entry.Verdict) : QString());
  // The month of the next test (MM/JJJJ) as JJJJ-MM, or null.
  const QDate next = QDate::fromString(QStringLiteral("01/") + entry.NextTest, QStringLiteral("dd/MM/yyyy"));
  o.insert(QStringLiteral("naechste_pruefung"),
           entry.Read && next.isValid() ? QJsonValue(next.toString(QStringLiteral("yyyy-MM"))) : QJsonValue(QJsonValue::Null));
  return o;
}

QJsonObject DueAppliance(const ArchiveData::Appliance& a, const QDate& today) {
  QJsonObject o;
  o.insert(QStringLiteral("auftraggeber"), a.Customer);
  o.insert(QStringLiteral("inventar_nr"), a.InventarNr);
  o.insert(QStringLiteral("bezeichnung"), a.Bezeichnung);
  o.insert(QStringLiteral("standort"), a.Standort);
  o.insert(QStringLiteral("letzte_pruefung"), Date(a.LastTest));
  o.insert(QStringLiteral("naechste_pruefung"), Date(a.NextDue));
  o.insert(QStringLiteral("ueberfaellig"), a.NextDue.isValid() && a.NextDue < today);
  return o;
}

}  // namespace JsonOut
