#pragma once
// The mode indicators of the status bar: Caps Lock, Num Lock and Overtype.
// The lock states are read from the native state of each key event (the
// platform delivers them with every key press); Overtype toggles with Insert.
#include <QObject>

class QLabel;
class QStatusBar;
class QKeyEvent;

class ModeIndicators : public QObject {
  Q_OBJECT
 public:
  ModeIndicators(QStatusBar* bar);

  bool CapsLock() const { return caps_; }
  bool NumLock() const { return num_; }
  bool Overtype() const { return overtype_; }
  // Updates the states from one key press (used by the event filter, and by tests).
  void KeyPressed(const QKeyEvent& event);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Show();
  QLabel* capsLabel_;
  QLabel* numLabel_;
  QLabel* overLabel_;
  bool caps_ = false;
  bool num_ = false;
  bool overtype_ = false;
};
