// The user's template of the report, kept in the settings folder: loaded into
// the form when the program starts and saved when its fields change.
#include <QLineEdit>
#include <QTimer>

#include "core/clock.h"
#include "core/reporttemplate.h"
#include "platform/seams.h"
#include "report/TFormular.h"

namespace {
const QString kCaption = QStringLiteral("Vorlage des Berichts");
}  // namespace

void TFormular::KeepTemplate() {
  if (templateTimer_) return;
  ReportRecord record = Record();
  const ReportTemplate::Loaded loaded = ReportTemplate::Load(&record, Clock::Today());
  if (loaded.status == ReportTemplate::Loaded::Status::Ok) {
    for (int field : ReportTemplate::Fields()) SetFieldText(field, record.Fields[field]);
    Modified = false;
  }
  templateSaved_ = Record();
  if (loaded.status == ReportTemplate::Loaded::Status::Damaged ||
      loaded.status == ReportTemplate::Loaded::Status::Unreadable) {
    // Said once the program stands, not in the middle of its start.
    const QString text = loaded.message;
    QTimer::singleShot(0, this, [this, text] {
      NoteInStatusBar(text);
      Seams::MessageBox(this, text, kCaption, Win::MB_OK | Win::MB_ICONEXCLAMATION);
    });
  }
  templateTimer_ = new QTimer(this);
  templateTimer_->setSingleShot(true);
  templateTimer_->setInterval(1500);
  connect(templateTimer_, &QTimer::timeout, this, &TFormular::SaveTemplate);
  for (int field : ReportTemplate::Fields())
    connect(Edits[field], &QLineEdit::textChanged, templateTimer_, qOverload<>(&QTimer::start));
}

bool TFormular::SaveTemplate() {
  if (!templateTimer_) return true;
  templateTimer_->stop();
  // A stored test shown for reading is no template.
  const ReportRecord record = Record();
  if (ReadOnlyView || ReportTemplate::SameFields(record, templateSaved_)) return true;
  QString error;
  if (!ReportTemplate::Save(record, &error)) {
    // Told once; the form keeps the fields, and the next change tries again.
    NoteInStatusBar(error);
    if (!templateFailed_)
      Seams::MessageBox(this,
                        error + QStringLiteral("\n\nDie Felder bleiben im Formular; beim nächsten Start sind sie "
                                               "leer, bis das Speichern wieder gelingt."),
                        kCaption, Win::MB_OK | Win::MB_ICONEXCLAMATION);
    templateFailed_ = true;
    return false;
  }
  templateFailed_ = false;
  templateSaved_ = record;
  return true;
}
