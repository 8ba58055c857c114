#pragma once
// What can be checked here of an archival PDF (PDF/A-1b), with the tools a
// user has: qpdf's structure check, the XMP identification (part 1,
// conformance B), an output intent, every font embedded (pdffonts), and the
// document's information as pdfinfo shows it.
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace PdfA {

inline QString Run(const QString& program, const QStringList& arguments, int* status = nullptr) {
  QProcess p;
  p.start(program, arguments);
  p.waitForFinished(120000);
  if (status) *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

// What keeps the file from being PDF/A-1b as far as these tools see; empty when nothing.
inline QStringList Problems(const QString& pdf) {
  QStringList problems;
  int status = 0;
  const QString check = Run(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}, &status);
  if (status != 0) problems << QStringLiteral("qpdf --check: ") + check;
  QFile file(pdf);
  const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  // The XMP packet is uncompressed in an archival PDF.
  static const QRegularExpression part(QStringLiteral("pdfaid:part(?:>|=\")1[<\"]"));
  static const QRegularExpression conformance(QStringLiteral("pdfaid:conformance(?:>|=\")B[<\"]"));
  const QString text = QString::fromLatin1(bytes);
  if (!part.match(text).hasMatch()) problems << QStringLiteral("no pdfaid:part 1");
  if (!conformance.match(text).hasMatch()) problems << QStringLiteral("no pdfaid:conformance B");
  if (!bytes.contains("/OutputIntents") || !bytes.contains("/GTS_PDFA1") || !bytes.contains("/DestOutputProfile"))
    problems << QStringLiteral("no output intent");
  if (!bytes.contains("/ID [") && !bytes.contains("/ID[")) problems << QStringLiteral("no file identifier");
  const QStringList fonts = Run(QStringLiteral("pdffonts"), {pdf}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  if (fonts.size() < 3) problems << QStringLiteral("no fonts listed");
  for (int i = 2; i < fonts.size(); ++i) {
    // name, type..., emb, sub, uni, object, generation: "emb" is the fifth field from the end.
    const QStringList f = fonts[i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (f.size() < 6 || f[f.size() - 5] != QLatin1String("yes")) problems << QStringLiteral("not embedded: ") + fonts[i];
  }
  return problems;
}

// The document information as pdfinfo shows it ("Title", "Author", ...).
inline QMap<QString, QString> Info(const QString& pdf) {
  QMap<QString, QString> info;
  for (const QString& line : Run(QStringLiteral("pdfinfo"), {pdf}).split(QLatin1Char('\n'))) {
    const int colon = line.indexOf(QLatin1Char(':'));
    if (colon > 0) info[line.left(colon)] = line.mid(colon + 1).trimmed();
  }
  return info;
}

}  // namespace PdfA
