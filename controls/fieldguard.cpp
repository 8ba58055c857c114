#include "controls/fieldguard.h"

#include <QLineEdit>
#include <QPalette>
#include <QToolTip>
#include <QValidator>

#include "core/fieldcheck.h"
#include "platform/seams.h"

namespace {

const char* const kRefusalProperty = "kelvaraRefusal";

// Remembers why it refused the last input; the field says so when the
// refusal reaches it as rejected input (typing or pasting, never a text the
// program sets).
class GuardValidator : public QValidator {
 public:
  GuardValidator(bool limitField, QObject* parent) : QValidator(parent), limitField_(limitField) {}
  State validate(QString& input, int& pos) const override {
    if (limitField_) {
      const FieldCheck::State state = FieldCheck::Limit(input);
      if (state != FieldCheck::State::Refused) return Acceptable;
      reason_ = FieldCheck::LimitMessage(input);
      return Invalid;
    }
    for (int i = 0; i < input.size(); ++i) {
      if (input[i] != QLatin1Char('\r') && input[i] != QLatin1Char('\n')) continue;
      if (input[i] == QLatin1Char('\r') && i + 1 < input.size() && input[i + 1] == QLatin1Char('\n')) {
        input.remove(i + 1, 1);
        if (pos > i + 1) --pos;
      }
      input[i] = QLatin1Char(' ');
    }
    const QString character = FieldCheck::UnstorableCharacter(input);
    if (character.isEmpty()) return Acceptable;
    reason_ = FieldCheck::UnstorableMessage(character);
    return Invalid;
  }
  QString TakeReason() const {
    QString reason = reason_;
    reason_.clear();
    return reason;
  }

 private:
  bool limitField_;
  mutable QString reason_;
};

void ShowRefusal(QLineEdit* edit, const QString& text) {
  edit->setProperty(kRefusalProperty, text);
  Seams::MessageBeep(Win::MB_OK);
  QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), text, edit);
}

// A full field is tinted and says so in its tool tip.
void ShowFull(QLineEdit* edit, int limit) {
  const bool full = edit->text().size() >= limit;
  if (edit->property("kelvaraFull").toBool() == full) return;
  edit->setProperty("kelvaraFull", full);
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, full ? QColor(255, 228, 196) : edit->parentWidget()
                                                                      ? edit->parentWidget()->palette().color(QPalette::Base)
                                                                      : QPalette().color(QPalette::Base));
  edit->setPalette(palette);
  edit->setToolTip(full ? FieldCheck::FullMessage(limit) : QString());
}

void Attach(QLineEdit* edit, int limit, bool limitField) {
  edit->setMaxLength(limit);
  auto* validator = new GuardValidator(limitField, edit);
  edit->setValidator(validator);
  QObject::connect(edit, &QLineEdit::inputRejected, edit, [edit, validator, limit] {
    QString reason = validator->TakeReason();
    if (reason.isEmpty()) reason = FieldCheck::FullMessage(limit);
    ShowRefusal(edit, reason);
  });
  QObject::connect(edit, &QLineEdit::textChanged, edit, [edit, limit] { ShowFull(edit, limit); });
  ShowFull(edit, limit);
}

}  // namespace

namespace FieldGuard {

void Text(QLineEdit* edit, int limit) { Attach(edit, limit, false); }
void Limit(QLineEdit* edit, int maxChars) { Attach(edit, maxChars, true); }
QString LastRefusal(const QLineEdit* edit) { return edit->property(kRefusalProperty).toString(); }

}  // namespace FieldGuard
