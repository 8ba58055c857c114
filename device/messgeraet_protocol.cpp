// The device window as the view of its tester session: the timers and the
// record buttons feed the session, and what it reports is shown in the
// window's controls. The protocol itself is in core/session.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include "controls/TColorStatic.h"
#include "device/TMessgeraet.h"
#include "core/values.h"
#include "platform/seams.h"
#include "platform/wintimer.h"

// What the session reports, shown in the window.
class TMessgeraet::View : public SessionView {
 public:
  explicit View(TMessgeraet* w) : w_(w) {}
  void LogLine(const QString& text) override { w_->LogLine(text); }
  void ShowText(int id, const QString& text) override { w_->SetDlgItemText(id, text); }
  void ShowRange(bool parsed, const QString& word, unsigned code) override { w_->ShowRange(parsed, word, code); }
  void DeviceTypeChanged() override { w_->RefreshSettings(); }
  void SelectNorm(int norm) override {
    QSignalBlocker block(w_->NormCombo);
    w_->NormCombo->setCurrentIndex(norm);
  }
  int SelectedClass() const override { return w_->KlasseCombo->currentIndex(); }
  void RecordComplete() override { w_->ShowRecordHex(); }
  void ShowRecord() override { w_->ShowRecord(); }
  void LoadEnded() override { emit w_->RecordsLoaded(); }
  void EnableRecordButtons(bool enable) override {
    for (QPushButton* button : w_->RecordButton)
      if (button) button->setEnabled(enable);
  }
  void ClearValues() override {
    for (QLabel* value : w_->ValueStatic)
      if (value) value->setText(QStringLiteral("?"));
  }
  bool ConnectionTestOn() const override { return w_->ConnectionTestBox && w_->ConnectionTestBox->isChecked(); }
  void OpenLink() override {
    w_->OpenPort();
    w_->ShowPortStatus();
  }
  void ReopenLink() override {
    w_->ClosePort();
    w_->OpenPort();
    w_->ShowPortStatus();
  }
  void ShowCounters() override {
    w_->ShowErrorCounts();
    w_->ShowByteCounts();
  }
  bool SetTimer(unsigned id, int periodMs) override { return w_->Timers->SetTimer(id, periodMs); }
  void KillTimer(unsigned id) override { w_->Timers->KillTimer(id); }
  void TimerMissing(const QString& caption) override { Seams::MessageBox(w_, QString(), caption, Win::MB_OK); }

 private:
  TMessgeraet* w_;
};

std::unique_ptr<SessionView> TMessgeraet::MakeView(TMessgeraet* w) { return std::make_unique<View>(w); }

void TMessgeraet::EvTimer(unsigned id) {
  if (id == PollTimer)
    Session.PollTick();
  else if (id == LinkTimer)
    Session.LinkTick();
  else if (id == LockTimer)
    Session.LockTick();
}

void TMessgeraet::Receive() { Session.PollTick(); }
void TMessgeraet::FinishPollTick(const QByteArray& chunk) { Session.FinishPollTick(chunk); }
void TMessgeraet::ProcessChunk(const QByteArray& chunk) { Session.ProcessChunk(chunk); }
void TMessgeraet::HandleLine(const QString& line) { Session.HandleLine(line); }
int TMessgeraet::SendCommand(const QByteArray& text) { return Session.SendCommand(text); }
void TMessgeraet::StepLoadAll() { Session.StepLoadAll(); }
void TMessgeraet::EnableRecordButtons(bool enable) { Session.EnableRecordButtons(enable); }
void TMessgeraet::ResetRecordCursor() { Session.ResetRecordCursor(); }
void TMessgeraet::StartLoadAll() { Session.StartLoadAll(); }
void TMessgeraet::StartDeleteAll() { Session.StartDeleteAll(); }
void TMessgeraet::NoteSequenceProgress() { Session.NoteSequenceProgress(); }
void TMessgeraet::AbandonSequence() { Session.AbandonSequence(); }

void TMessgeraet::LogLine(const QString& text) {
  if (!LogList) return;
  // Every line has the same height (one fixed-pitch line); saying so keeps
  // adding a line cheap however long the log is.
  if (!LogList->uniformItemSizes()) LogList->setUniformItemSizes(true);
  // The log follows new lines only while the user has not scrolled back to
  // read; scrolling down to the end again resumes following.
  const QScrollBar* bar = LogList->verticalScrollBar();
  const bool following = !bar || bar->value() >= bar->maximum();
  LogList->addItem(text);
  // The connection test alone writes two lines a second; keep the newest lines
  // so a program left running for days does not grow without end.
  while (LogList->count() > kLogLimit) delete LogList->takeItem(0);
  if (following) LogList->scrollToBottom();
}

void TMessgeraet::ClearLog() {
  if (LogList) LogList->clear();
  RxBytes = 0;
  TxBytes = 0;
  RxErrors = 0;
  TxErrors = 0;
}
