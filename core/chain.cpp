#include "core/chain.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace Chain {
namespace {

void Put(QByteArray* out, const QByteArray& name, const QByteArray& value) {
  *out += name;
  *out += '=';
  *out += QByteArray::number(value.size());
  *out += ':';
  *out += value;
  *out += '\n';
}
void Put(QByteArray* out, const QByteArray& name, const QString& value) { Put(out, name, value.toUtf8()); }
void Put(QByteArray* out, const QByteArray& name, qint64 value) { Put(out, name, QByteArray::number(value)); }

}  // namespace

QString Genesis() { return QString(64, QLatin1Char('0')); }

QByteArray Canonical(const Entry& e, const QString& previousHash) {
  QByteArray out("kelvara-pruefkette-1\n");
  out.reserve(e.record.size() + 1024);
  Put(&out, "seq", e.seq);
  Put(&out, "test_date", e.testDate);
  Put(&out, "tester", e.tester);
  Put(&out, "instrument", e.instrument);
  Put(&out, "standard", qint64(e.standard));
  Put(&out, "klasse", qint64(e.klasse));
  Put(&out, "sicht", qint64(e.sicht));
  Put(&out, "funktion", qint64(e.funktion));
  Put(&out, "passed", qint64(e.passed));
  Put(&out, "remarks", e.remarks);
  Put(&out, "corrects", e.corrects > 0 ? QByteArray::number(e.corrects) : QByteArray());
  Put(&out, "stored_at", e.storedAt);
  Put(&out, "record_hash", e.recordHash);
  Put(&out, "record", e.record);
  for (size_t r = 0; r < e.rows.size(); ++r) {
    const QByteArray row = "row" + QByteArray::number(qulonglong(r));
    const Row& x = e.rows[r];
    if (!x.present) {
      out += row + "=-\n";
      continue;
    }
    Put(&out, row + ".measured", x.measured);
    Put(&out, row + ".limit", x.limit);
    Put(&out, row + ".active", qint64(x.active));
    Put(&out, row + ".ok", qint64(x.ok));
  }
  out += "prev=" + previousHash.toLatin1() + '\n';
  return out;
}

QString Hash(const Entry& entry, const QString& previousHash) {
  return QString::fromLatin1(
      QCryptographicHash::hash(Canonical(entry, previousHash), QCryptographicHash::Sha256).toHex());
}

QString Normalized(const QString& text) {
  if (text.isNull()) return QLatin1String("");
  return QString::fromUtf8(text.toUtf8());
}

QString Fingerprint(const QString& hash) { return hash.left(16).toUpper(); }

QString Grouped(const QString& fingerprint) {
  QString grouped;
  for (int i = 0; i < fingerprint.size(); i += 4) {
    if (i) grouped += QLatin1Char(' ');
    grouped += fingerprint.mid(i, 4);
  }
  return grouped;
}

bool ParseFingerprint(const QString& text, QString* digits) {
  QString d;
  for (QChar c : text.trimmed()) {
    if (c.isSpace() || c == QLatin1Char('-')) continue;
    const char l = c.toLower().toLatin1();
    if (!((l >= '0' && l <= '9') || (l >= 'a' && l <= 'f'))) return false;
    d += QLatin1Char(l);
  }
  if (d.size() < 16 || d.size() > 64) return false;
  *digits = d;
  return true;
}

QStringList FingerprintsIn(const QString& text) {
  // The digits may be grouped and, in a page's text, broken by the layout.
  static const QRegularExpression re(QStringLiteral("Pr(?:ü|ue)fnachweis:?\\s*((?:[0-9A-Fa-f]{4}[\\s-]?){3}[0-9A-Fa-f]{4})"));
  QStringList found;
  for (auto it = re.globalMatch(text); it.hasNext();) {
    QString digits;
    if (ParseFingerprint(it.next().captured(1), &digits) && !found.contains(digits)) found << digits;
  }
  return found;
}

}  // namespace Chain
