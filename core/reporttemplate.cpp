#include "core/reporttemplate.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "core/clock.h"
#include "core/cp1252.h"
#include "core/fileio.h"
#include "core/layout.h"
#include "core/places.h"

namespace ReportTemplate {
namespace {

const QByteArray kSection = "[Vorlage]";
constexpr qint64 kMaxBytes = 64 * 1024;

// A signature line as "Erzeugen" writes it: place, date, name.
const QRegularExpression kDated(QStringLiteral("^(.*, )(\\d{2}\\.\\d{2}\\.\\d{4})(, .*)$"));

}  // namespace

const std::vector<int>& Fields() {
  static const std::vector<int> fields{
      Layout::kFieldAuftragnehmer, Layout::kFieldANAnschrift,       Layout::kFieldANPlzStadt,
      Layout::kFieldANTel,         Layout::kFieldANFax,             Layout::kFieldANKontaktperson,
      Layout::kFieldMessgeraet,    Layout::kFieldSeriennummerMess,  Layout::kFieldNaechsteKalibrierung,
      Layout::kFieldUnternehmer,   Layout::kFieldPruefer};
  return fields;
}

QString File() { return Places::SettingsFolder() + QStringLiteral("/vorlage.ini"); }

bool SameFields(const ReportRecord& a, const ReportRecord& b) {
  for (int field : Fields())
    if (a.Fields[field] != b.Fields[field]) return false;
  return true;
}

Loaded Load(ReportRecord* report, const QDate& today) {
  Loaded loaded;
  const QString path = File();
  QByteArray bytes;
  QString why;
  const FileIO::ReadResult read = FileIO::ReadFile(path, kMaxBytes, &bytes, &why);
  if (read == FileIO::ReadResult::Missing) return loaded;
  if (read != FileIO::ReadResult::Ok) {
    loaded.status = Loaded::Status::Unreadable;
    loaded.message = QStringLiteral("Die Vorlage des Berichts (%1) kann nicht gelesen werden: %2 Die Felder bleiben "
                                    "leer; die Datei bleibt, wie sie ist.")
                         .arg(path, why);
    return loaded;
  }
  // The template: its section, then one "key=value" a line, nothing else.
  std::vector<std::pair<QString, QString>> values;
  QList<QByteArray> lines = bytes.split('\n');
  if (!lines.isEmpty() && lines.last().trimmed().isEmpty()) lines.removeLast();
  bool damaged = lines.isEmpty() || lines.first().trimmed() != kSection || bytes.contains('\0');
  for (int i = 1; i < lines.size() && !damaged; ++i) {
    const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
    const int equals = int(line.indexOf('='));
    if (equals <= 0) {
      damaged = true;
      break;
    }
    values.emplace_back(QString::fromLatin1(line.left(equals)), Cp1252ToUnicode(line.mid(equals + 1)));
  }
  if (damaged) {
    // Kept for the user, under a name of its own; the next save starts anew.
    const QString aside = path + QStringLiteral(".beschaedigt-") + Clock::Now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    loaded.status = Loaded::Status::Damaged;
    loaded.message = QFile::rename(path, aside)
                         ? QStringLiteral("Die Vorlage des Berichts war beschädigt und wurde nicht geladen; die Felder "
                                          "bleiben leer. Die Datei liegt unverändert unter %1.")
                               .arg(aside)
                         : QStringLiteral("Die Vorlage des Berichts (%1) ist beschädigt und wurde nicht geladen; die "
                                          "Felder bleiben leer. Sie konnte nicht beiseitegelegt werden und wird beim "
                                          "nächsten Speichern der Vorlage ersetzt.")
                               .arg(path);
    return loaded;
  }
  for (const auto& [key, value] : values) {
    for (int field : Fields()) {
      if (key != Layout::FieldKey(field)) continue;
      QString text = value;
      const QRegularExpressionMatch dated = kDated.match(text);
      if ((field == Layout::kFieldUnternehmer || field == Layout::kFieldPruefer) && dated.hasMatch() &&
          QDate::fromString(dated.captured(2), QStringLiteral("dd.MM.yyyy")).isValid())
        text = dated.captured(1) + today.toString(QStringLiteral("dd.MM.yyyy")) + dated.captured(3);
      report->Fields[field] = text;
    }
  }
  loaded.status = Loaded::Status::Ok;
  return loaded;
}

bool Save(const ReportRecord& report, QString* error) {
  QByteArray bytes = kSection + "\r\n";
  for (int field : Fields()) {
    // One line a field; a character the file cannot hold is named, never lost.
    QString text = report.Fields[field];
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    int lost = 0;
    const QByteArray encoded = UnicodeToCp1252(text, &lost);
    if (lost > 0) {
      *error = QStringLiteral("Das Feld „%1“ enthält Zeichen, die die Vorlage nicht speichern kann.")
                   .arg(Layout::FieldLabel(field).remove(QLatin1Char(':')));
      return false;
    }
    bytes += Layout::FieldKey(field).toLatin1() + '=' + encoded + "\r\n";
  }
  const QString path = File();
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
    *error = QStringLiteral("Der Ordner %1 kann nicht angelegt werden.").arg(QFileInfo(path).absolutePath());
    return false;
  }
  QString why;
  if (!FileIO::SaveFileAtomically(path, bytes, &why)) {
    *error = QStringLiteral("Die Vorlage des Berichts konnte nicht gespeichert werden (%1): %2").arg(path, why);
    return false;
  }
  return true;
}

}  // namespace ReportTemplate
