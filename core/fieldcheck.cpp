#include "core/fieldcheck.h"

#include <QDate>
#include <QRegularExpression>

#include "core/cp1252.h"

namespace FieldCheck {

QString UnstorableCharacter(const QString& text) {
  for (int i = 0; i < text.size(); ++i) {
    unsigned char byte = 0;
    if (text[i].isHighSurrogate() && i + 1 < text.size()) return text.mid(i, 2);
    if (!Cp1252::FromUnicode(text[i], &byte)) return QString(text[i]);
  }
  return QString();
}

QString UnstorableMessage(const QString& character) {
  return QStringLiteral("\u201E%1\u201C kann im Datensatz nicht gespeichert werden.").arg(character);
}

QString FullMessage(int limit) { return QStringLiteral("Das Feld ist voll: höchstens %1 Zeichen.").arg(limit); }

State Limit(QString& text) {
  text.replace(QLatin1Char(','), QLatin1Char('.'));
  static const QString allowed = QStringLiteral("-0123456789. ");
  for (QChar c : text)
    if (!allowed.contains(c)) return State::Refused;
  if (text.count(QLatin1Char('.')) > 1) return State::Refused;
  static const QRegularExpression number(QStringLiteral("^ *-?(\\d+(\\.\\d*)?|\\.\\d+) *$"));
  return number.match(text).hasMatch() ? State::Acceptable : State::Partial;
}

QString LimitMessage(const QString& text) {
  return QStringLiteral("\u201E%1\u201C ist kein Grenzwert: nur Ziffern und ein Dezimalkomma, z. B. 0,30.").arg(text);
}

bool Date(const QString& text, QString* normalized) {
  static const QRegularExpression form(QStringLiteral("^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4})$"));
  const QRegularExpressionMatch m = form.match(text.trimmed());
  if (!m.hasMatch()) return false;
  const QDate date(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
  if (!date.isValid()) return false;
  if (normalized) *normalized = date.toString(QStringLiteral("dd.MM.yyyy"));
  return true;
}

QString DateMessage(const QString& text) {
  return QStringLiteral("\u201E%1\u201C ist kein Datum. Bitte als TT.MM.JJJJ eingeben, z. B. %2.")
      .arg(text, QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));
}

}  // namespace FieldCheck
