#include "tools/kelvara-cli/proof.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <unistd.h>

#include "core/archive.h"
#include "core/chain.h"
#include "core/fileio.h"
#include "core/layout.h"
#include "core/reportrecord.h"

namespace {

enum Exit { kDone = 0, kInput = 1, kUnreachable = 2, kNotWritten = 4 };

// The largest file taken: a PDF of many reports.
constexpr qint64 kMaxInputBytes = 256LL * 1024 * 1024;

void Err(const QString& text) {
  const QByteArray bytes = (QStringLiteral("kelvara-cli: ") + text + QLatin1Char('\n')).toLocal8Bit();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}
void Out(const QString& text) {
  const QByteArray bytes = (text + QLatin1Char('\n')).toUtf8();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

QString Day(const QDate& d) { return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QStringLiteral("?"); }

// Opens the archive for reading; 0 or the exit status (told on stderr).
int OpenArchive(Archive* archive, Archive::OpenMode mode = Archive::OpenMode::ExistingOnly) {
  const QString location = Archive::DefaultLocation();
  QString why;
  if (!Archive::CheckLocation(location, &why)) {
    Err(why);
    return kInput;
  }
  if (!archive->Open(location, mode)) {
    Err(archive->Error());
    return archive->LastFault() == Archive::Fault::Config && location.startsWith(QLatin1String("postgres")) &&
                   archive->Error().contains(QLatin1String("ungültig"))
               ? kInput
               : kUnreachable;
  }
  return kDone;
}

// What a found test is: the appliance, the date, the verdict.
void Describe(const Archive::Found& f) {
  ReportRecord report;
  const bool readable = Report::ReadBytes(f.test.Record, &report).status == Report::ReadResult::Ok;
  const QString description = readable ? report.Fields[Layout::kFieldGeraetArt].simplified() : QString();
  Out(QStringLiteral("  Prüfung Nr. %1 im Archiv (Glied %2 der Prüfkette)").arg(f.test.Id).arg(f.test.ChainSeq));
  Out(QStringLiteral("  Gerät:        %1%2, Auftraggeber %3")
          .arg(f.inventarNr, description.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(description), f.customer));
  Out(QStringLiteral("  Prüfung am:   %1%2")
          .arg(Day(f.test.Date), f.test.Tester.isEmpty() ? QString() : QStringLiteral(", Prüfer %1").arg(f.test.Tester)));
  Out(QStringLiteral("  Ergebnis:     %1").arg(f.test.Passed ? QStringLiteral("bestanden") : QStringLiteral("nicht bestanden")));
  Out(QStringLiteral("  Prüfnachweis: %1 (vollständig %2)").arg(Chain::Grouped(Chain::Fingerprint(f.test.ChainHash)), f.test.ChainHash));
}

// One fingerprint against the archive; the exit status of this one.
int VerifyFingerprint(Archive& archive, const QString& digits, const QString& from) {
  const QString shown = Chain::Grouped(Chain::Fingerprint(digits));
  const std::vector<Archive::Found> found = archive.FindByFingerprint(digits);
  if (archive.Failed()) {
    Err(archive.Error());
    return kUnreachable;
  }
  if (found.empty()) {
    Out(QStringLiteral("%1Prüfnachweis %2: NICHT im Archiv. Keine gespeicherte Prüfung hat diesen Prüfnachweis: der "
                       "Bericht stammt nicht aus diesem Archiv, ist abgeschrieben oder verändert, oder die Prüfung wurde "
                       "aus dem Archiv entfernt.")
            .arg(from, shown));
    return kProofNotFound;
  }
  if (found.size() > 1) {
    Out(QStringLiteral("%1Prüfnachweis %2: mehrdeutig (%3 Prüfungen beginnen so). Geben Sie mehr Ziffern an.")
            .arg(from, shown)
            .arg(found.size()));
    return kInput;
  }
  const Archive::Found& f = found.front();
  if (!f.matches) {
    Out(QStringLiteral("%1Prüfnachweis %2: stimmt NICHT. %3").arg(from, shown, f.why));
    Describe(f);
    return kProofBroken;
  }
  Out(QStringLiteral("%1Prüfnachweis %2: stimmt. Die Prüfung ist unverändert so gespeichert.").arg(from, shown));
  Describe(f);
  return kDone;
}

int VerifyRecord(Archive& archive, const QString& path, const QByteArray& bytes) {
  const std::vector<Archive::Found> found = archive.FindByRecord(bytes);
  if (archive.Failed()) {
    Err(archive.Error());
    return kUnreachable;
  }
  if (!found.empty()) {
    const Archive::Found& f = found.front();
    if (!f.matches) {
      Out(QStringLiteral("%1: stimmt NICHT. %2").arg(path, f.why));
      Describe(f);
      return kProofBroken;
    }
    Out(QStringLiteral("%1: stimmt. Der Datensatz ist Byte für Byte so im Archiv gespeichert.").arg(path));
    Describe(f);
    return kDone;
  }
  // Not stored as it is: a file changed after it was stored finds its test.
  ReportRecord report;
  Report::ReadBytes(bytes, &report);
  const std::vector<Archive::Found> same = archive.FindSameTest(report);
  if (archive.Failed()) {
    Err(archive.Error());
    return kUnreachable;
  }
  if (!same.empty()) {
    Out(QStringLiteral("%1: stimmt NICHT. Zu diesem Gerät und Prüfdatum ist eine andere Fassung gespeichert: die Datei "
                       "wurde nach dem Speichern verändert (oder die gespeicherte ist eine Korrektur).")
            .arg(path));
    for (const Archive::Found& f : same) Describe(f);
    return kProofBroken;
  }
  Out(QStringLiteral("%1: NICHT im Archiv. Weder dieser Datensatz noch eine Prüfung dieses Geräts an diesem Tag ist "
                     "gespeichert.")
          .arg(path));
  return kProofNotFound;
}

int VerifyPdf(Archive& archive, const QString& path, const QByteArray& bytes) {
  // The fingerprints are in the PDF's metadata (its keywords, uncompressed XMP).
  const QStringList prints = Chain::FingerprintsIn(QString::fromUtf8(bytes));
  if (prints.isEmpty()) {
    Out(QStringLiteral("%1: nennt keinen Prüfnachweis (kein Bericht einer gespeicherten Prüfung, oder nicht von Kelvara "
                       "geschrieben). Steht einer auf dem Blatt, geben Sie ihn ein: kelvara-cli verify 3F9A1C0B7D2E4F56")
            .arg(path));
    return kProofNotFound;
  }
  int worst = kDone;
  for (const QString& digits : prints) {
    const int status = VerifyFingerprint(archive, digits, path + QStringLiteral(": "));
    if (status == kUnreachable) return status;
    worst = std::max(worst, status);
  }
  return worst;
}

}  // namespace

const char* const kVerifyUsage =
    "Aufruf: kelvara-cli verify BERICHT.pdf|DATENSATZ.ini|PRÜFNACHWEIS ...\n"
    "  Prüft einen Bericht gegen das Archiv: eine PDF-Datei von Kelvara (ihr Prüfnachweis steht in ihren\n"
    "  Metadaten), eine Datensatz-Datei (Byte für Byte) oder den Prüfnachweis vom Blatt (16 Ziffern, wie\n"
    "  3F9A 1C0B 7D2E 4F56). Nennt Gerät, Datum und Ergebnis der gespeicherten Prüfung.\n"
    "  Ende-Status: 0 stimmt, 5 stimmt nicht (verändert), 6 nicht im Archiv, 1 Eingabe, 2 Archiv nicht erreichbar.\n";

int VerifyCommand(const QStringList& inputs) {
  if (inputs.isEmpty()) {
    Err(QStringLiteral("verify braucht eine PDF-Datei, eine Datensatz-Datei oder einen Prüfnachweis."));
    return kInput;
  }
  // What each word is, before the archive is opened.
  struct Input {
    enum { Pdf, Record, Print } kind;
    QString word, digits;
    QByteArray bytes;
  };
  std::vector<Input> items;
  for (const QString& word : inputs) {
    QString digits;
    if (!QFileInfo::exists(word)) {
      if (!Chain::ParseFingerprint(word, &digits)) {
        Err(QStringLiteral("„%1“ gibt es nicht als Datei und ist kein Prüfnachweis (16 bis 64 hexadezimale Ziffern).").arg(word));
        return kInput;
      }
      items.push_back({Input::Print, word, digits, {}});
      continue;
    }
    QByteArray bytes;
    QString why;
    if (FileIO::ReadFile(word, kMaxInputBytes, &bytes, &why) != FileIO::ReadResult::Ok) {
      Err(QStringLiteral("%1 kann nicht gelesen werden: %2").arg(word, why));
      return kInput;
    }
    ReportRecord report;
    if (bytes.startsWith("%PDF-")) {
      items.push_back({Input::Pdf, word, {}, bytes});
    } else if (Report::ReadBytes(bytes, &report).status == Report::ReadResult::Ok) {
      items.push_back({Input::Record, word, {}, bytes});
    } else {
      Err(QStringLiteral("%1 ist weder eine PDF-Datei noch ein Datensatz eines Prüfprotokolls.").arg(word));
      return kInput;
    }
  }
  Archive archive;
  if (const int status = OpenArchive(&archive)) return status;
  int worst = kDone;
  for (const Input& item : items) {
    int status = kDone;
    switch (item.kind) {
      case Input::Pdf: status = VerifyPdf(archive, item.word, item.bytes); break;
      case Input::Record: status = VerifyRecord(archive, item.word, item.bytes); break;
      case Input::Print: status = VerifyFingerprint(archive, item.digits, QString()); break;
    }
    if (status == kUnreachable) return status;
    worst = std::max(worst, status);
  }
  return worst;
}

bool IsProofArchiveCommand(const QString& what) {
  return what == QLatin1String("verify") || what == QLatin1String("backup") || what == QLatin1String("restore") ||
         what == QLatin1String("setup-roles");
}

int ProofArchiveCommand(const QStringList& words, const std::map<QString, QString>& options) {
  const QString what = words.value(0);
  const bool withFile = what == QLatin1String("backup") || what == QLatin1String("restore");
  if (words.size() != (withFile ? 2 : 1)) {
    Err(withFile ? QStringLiteral("archive %1 braucht eine Datei.").arg(what)
                 : QStringLiteral("archive %1 nimmt keine Datei.").arg(what));
    return kInput;
  }
  auto option = [&](const char* name, const char* fallback) {
    const auto it = options.find(QString::fromLatin1(name));
    return it == options.end() ? QString::fromLatin1(fallback) : it->second;
  };
  if (what == QLatin1String("restore")) {
    const QString location = Archive::DefaultLocation();
    QString why;
    if (!Archive::CheckLocation(location, &why)) {
      Err(why);
      return kInput;
    }
    const Archive::Restored r = Archive::Restore(words[1], location);
    if (!r.ok) {
      Err(r.error);
      switch (r.fault) {
        case Archive::Fault::Config: return kInput;
        case Archive::Fault::Full:
        case Archive::Fault::ReadOnly: return kNotWritten;
        default: return kUnreachable;
      }
    }
    Out(QStringLiteral("Zurückgespielt nach %1: %2").arg(location, r.summary));
    return r.chainHolds ? kDone : kProofBroken;
  }
  Archive archive;
  // Roles are set up on a server whose archive may still be empty.
  if (const int status = OpenArchive(&archive, what == QLatin1String("setup-roles") ? Archive::OpenMode::CreateIfMissing
                                                                                       : Archive::OpenMode::ExistingOnly))
    return status;
  if (what == QLatin1String("verify")) {
    const bool terminal = ::isatty(2);
    const Archive::ChainCheck check = archive.CheckChain([terminal](qint64 done, qint64 total) {
      if (terminal) std::fprintf(stderr, "\rPrüfe %lld von %lld Prüfungen ", qlonglong(done), qlonglong(total));
      return true;
    });
    if (terminal) std::fprintf(stderr, "\n");
    if (archive.Failed()) {
      Err(archive.Error());
      return kUnreachable;
    }
    if (!check.holds) {
      Out(QStringLiteral("Prüfkette GEBROCHEN (%1 Prüfungen, %2 stimmen nicht).")
              .arg(check.tests)
              .arg(check.broken == 1 ? QStringLiteral("eine Stelle") : QStringLiteral("%1 Stellen").arg(check.broken)));
      Out(QStringLiteral("Zuerst: %1").arg(check.first));
      return kProofBroken;
    }
    Out(QStringLiteral("Prüfkette intakt: %1, jede unverändert so gespeichert.")
            .arg(check.tests == 1 ? QStringLiteral("1 Prüfung") : QStringLiteral("%1 Prüfungen").arg(check.tests)));
    if (check.tests > 0)
      Out(QStringLiteral("Letzter Prüfnachweis: %1 (vollständig %2)").arg(Chain::Grouped(Chain::Fingerprint(check.head)), check.head));
    return kDone;
  }
  if (what == QLatin1String("backup")) {
    QString summary;
    if (!archive.Backup(words[1], &summary)) {
      Err(archive.Error());
      switch (archive.LastFault()) {
        case Archive::Fault::Config: return kInput;
        case Archive::Fault::Full:
        case Archive::Fault::ReadOnly: return kNotWritten;
        default: return kUnreachable;
      }
    }
    Out(QStringLiteral("Sicherung geschrieben: %1 – %2").arg(words[1], summary));
    return summary.contains(QLatin1String("gebrochen")) ? kProofBroken : kDone;
  }
  QStringList done;
  if (!archive.SetUpRoles(option("--writer", "kelvara_pruefer"), option("--reader", "kelvara_buero"), &done)) {
    Err(archive.Error());
    return archive.LastFault() == Archive::Fault::Config ? kInput : kUnreachable;
  }
  for (const QString& line : done) Out(line);
  return kDone;
}

QString StoredHashOf(const QByteArray& recordFile, QString* note) {
  const QString location = Archive::DefaultLocation();
  QString why;
  if (!Archive::CheckLocation(location, &why)) {
    *note = why;
    return QString();
  }
  Archive archive;
  if (!archive.Open(location, Archive::OpenMode::ExistingOnly)) {
    *note = QStringLiteral("das Archiv ist nicht erreichbar: %1").arg(archive.Error());
    return QString();
  }
  const QString hash = archive.HashOfRecord(recordFile);
  if (archive.Failed()) *note = archive.Error();
  else if (hash.isEmpty()) *note = QStringLiteral("der Datensatz ist nicht im Archiv gespeichert");
  return hash;
}
