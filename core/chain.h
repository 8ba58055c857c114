#pragma once
// The proof chain of the archive: every stored test carries a SHA-256 hash
// over its canonical form (below) and the hash of the test stored before it.
// A test changed, added or removed behind the program's back no longer
// matches its hash, and the tests after it no longer match theirs; the first
// 16 hexadecimal digits of a test's hash are its fingerprint, printed on its
// report ("Prüfnachweis").
//
// The canonical form of a test, as bytes (UTF-8 texts, decimal numbers):
//
//   kelvara-pruefkette-1\n
//   NAME=LENGTH:VALUE\n      for each value in this order:
//     seq, test_date, tester, instrument, standard, klasse, sicht, funktion,
//     passed, remarks, corrects, stored_at, record_hash, record,
//     then for each measurement row 0..7: rowN.measured, rowN.limit,
//     rowN.active, rowN.ok (a row that is not stored: "rowN=-" instead)
//   prev=HASH\n              the hash of the test before (64 zeros for the first)
//
// LENGTH is the value's length in bytes, so no value can be mistaken for
// another however it is spelt; `record` is the data record file byte for
// byte, `corrects` is empty when the test corrects none. The hash is
// lower-case hexadecimal.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>

namespace Chain {

// The hash before the first test.
QString Genesis();

struct Row {
  bool present = false;  // stored at all
  QString measured, limit;
  int active = 0, ok = 0;
};

// A test's values as the archive stores them.
struct Entry {
  qint64 seq = 0;
  QString testDate, tester, instrument;
  int standard = 0, klasse = 0, sicht = 0, funktion = 0, passed = 0;
  QString remarks;
  qint64 corrects = 0;  // 0: none
  QString storedAt;
  QString recordHash;
  QByteArray record;
  std::array<Row, 8> rows;
};

QByteArray Canonical(const Entry& entry, const QString& previousHash);
// The test's hash (64 lower-case hexadecimal digits).
QString Hash(const Entry& entry, const QString& previousHash);

// A text as a column keeps it: what goes through the database's UTF-8 comes
// back the same, so the hash is made over what is read back later.
QString Normalized(const QString& text);

// The fingerprint printed on a report: the first 16 digits of the hash, in
// capitals ("3F9A1C0B7D2E4F56"; the QR code holds this), and grouped by four
// for reading and typing ("3F9A 1C0B 7D2E 4F56").
QString Fingerprint(const QString& hash);
QString Grouped(const QString& fingerprint);
// A fingerprint as typed or read back: 16 to 64 hexadecimal digits, spaces
// and dashes between them ignored, either case. False when it is none; else
// the digits in lower case.
bool ParseFingerprint(const QString& text, QString* digits);
// The fingerprints in a text (a PDF's keywords, a page's text): each
// "Prüfnachweis" followed by its digits.
QStringList FingerprintsIn(const QString& text);

}  // namespace Chain
