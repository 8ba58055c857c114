// kelvara-cli label DATENSATZ.ini|ORDNER ... --pdf ETIKETTEN.pdf [--format F]
//                   [--code qr|datamatrix|code128] [--content nr|nr-kunde-datum] [--start N]
// The same labels as the program's "Etiketten..." (core and page drawing, no
// window): one PDF written whole and renamed into place. To print, hand the
// PDF to the print system with the format's size, e.g.
//   lp -d QL570 -o media=Custom.62x40mm etiketten.pdf
#include "tools/kelvara-cli/label.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>

#include "core/label.h"
#include "core/reportrecord.h"
#include "render/labeldoc.h"

namespace {

enum Exit { kDone = 0, kInput = 1, kNotWritten = 4 };

}  // namespace

const char* const kLabelUsage =
    "Aufruf: kelvara-cli label DATENSATZ.ini|ORDNER ... --pdf ETIKETTEN.pdf [--format FORMAT]\n"
    "                          [--code qr|datamatrix|code128] [--content nr|nr-kunde-datum] [--start N]\n"
    "  Prüfplaketten der Datensätze (eines Ordners: alle *.ini) als eine PDF-Datei, wie \"Etiketten...\"\n"
    "  im Programm: nächste Prüfung, Inventar-Nr. mit Code, Prüfdatum, Firma; nicht bestandene Prüfungen\n"
    "  bekommen \"GESPERRT – nicht benutzen\".\n"
    "  --format   62x40 (Standard), 29x90, 24mm, 12mm, 89x36, 54x25, a4-3x8, a4-4x10 oder BxH in mm (50x30)\n"
    "  --code     qr (Standard), datamatrix oder code128\n"
    "  --content  nr: nur die Inventar-Nr. (Standard); nr-kunde-datum: mit Auftraggeber und nächster Prüfung\n"
    "  --start    erster freier Platz eines angebrochenen A4-Bogens (1 = links oben)\n"
    "  Drucken: lp -d DRUCKER -o media=Custom.62x40mm ETIKETTEN.pdf (Bögen: -o media=A4)\n"
    "  Ende-Status: 0 erledigt, 1 Fehler in der Eingabe (auch: Etiketten, die nicht in das Format\n"
    "  passen; die übrigen sind geschrieben), 4 die Datei konnte nicht geschrieben werden.\n";

namespace {

void Err(const QString& text) {
  const QByteArray bytes = (QStringLiteral("kelvara-cli: ") + text + QLatin1Char('\n')).toLocal8Bit();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

QString ReadFailure(const QString& path, const Report::ReadResult& read) {
  switch (read.status) {
    case Report::ReadResult::Missing: return QStringLiteral("%1 gibt es nicht.").arg(path);
    case Report::ReadResult::Unreadable: return QStringLiteral("%1: %2").arg(path, read.error);
    default: return QStringLiteral("%1 enthält keinen Datensatz eines Prüfprotokolls.").arg(path);
  }
}

}  // namespace

int LabelCommand(int argc, char** argv, const QStringList& inputs, const std::map<QString, QString>& options) {
  auto option = [&](const char* name, const QString& fallback) {
    const auto it = options.find(QLatin1String(name));
    return it == options.end() ? fallback : it->second;
  };
  const QString pdf = option("--pdf", QString());
  const QString formatKey = option("--format", QStringLiteral("62x40"));
  const QString codeKey = option("--code", QStringLiteral("qr"));
  const QString content = option("--content", QStringLiteral("nr"));
  const QString start = option("--start", QString());
  if (inputs.isEmpty() || pdf.isEmpty()) {
    Err(QStringLiteral("label braucht Datensätze (oder einen Ordner) und --pdf."));
    return kInput;
  }
  LabelDoc::Job job;
  if (!Labels::FormatByKey(formatKey, &job.format)) {
    Err(QStringLiteral("unbekanntes Format \u201E%1\u201C (kelvara-cli label --help).").arg(formatKey));
    return kInput;
  }
  if (!Barcode::FromKey(codeKey, &job.options.code)) {
    Err(QStringLiteral("unbekannter Code \u201E%1\u201C: qr, datamatrix oder code128.").arg(codeKey));
    return kInput;
  }
  if (content == QLatin1String("nr")) job.options.content = Labels::Content::Inventar;
  else if (content == QLatin1String("nr-kunde-datum")) job.options.content = Labels::Content::InventarKundeDatum;
  else {
    Err(QStringLiteral("unbekannter Inhalt \u201E%1\u201C: nr oder nr-kunde-datum.").arg(content));
    return kInput;
  }
  if (!start.isEmpty()) {
    bool ok = false;
    job.start = start.toInt(&ok);
    if (!ok || job.start < 1 || job.start > job.format.PerPage()) {
      Err(QStringLiteral("--start %1: ein Platz von 1 bis %2 des Formats.").arg(start).arg(job.format.PerPage()));
      return kInput;
    }
  }

  // Drawing needs fonts, never a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  int status = kDone;
  std::vector<ReportRecord> reports;
  for (const QString& input : inputs) {
    QStringList files{input};
    if (QFileInfo(input).isDir()) {
      files.clear();
      const QDir dir(input);
      for (const QString& name : dir.entryList({"*.ini", "*.INI"}, QDir::Files, QDir::Name)) files << dir.filePath(name);
    }
    for (const QString& path : files) {
      ReportRecord report;
      const Report::ReadResult read = Report::Read(path, &report);
      if (read.status != Report::ReadResult::Ok) {
        Err(ReadFailure(path, read));
        status = kInput;
        continue;
      }
      reports.push_back(report);
    }
  }
  if (reports.empty()) {
    Err(QStringLiteral("keine Datensätze, keine Etiketten."));
    return kInput;
  }
  job.labels = Labels::FromReports(reports);
  for (const QString& problem : LabelDoc::Problems(job)) {
    Err(problem);
    status = kInput;
  }
  const LabelDoc::Result result = LabelDoc::WritePdf(job, pdf);
  if (result.labels == 0) {
    Err(result.error);
    return result.saveFailed ? kNotWritten : kInput;
  }
  const QByteArray line = (pdf + QLatin1Char('\n')).toLocal8Bit();
  std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
  return status;
}
