#pragma once
// Window timers by id, as the program's windows use them: SetTimer(id, period)
// starts or restarts the timer with that id, KillTimer(id) stops it, and every
// tick calls the owner's handler with the id. A period of 0 means the
// platform's shortest timer period (never a zero-interval Qt timer, which would
// spin a whole core).
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>

class WinTimers : public QObject {
  Q_OBJECT
 public:
  static constexpr int kShortestPeriodMs = 10;

  explicit WinTimers(QObject* parent, std::function<void(unsigned id)> onTick);
  ~WinTimers() override;

  // Returns false when the timer cannot be had. A timer responder of the
  // dialog seam takes the request in place of a real timer (tests drive the
  // ticks by hand).
  bool SetTimer(unsigned id, int periodMs);
  void KillTimer(unsigned id);
  bool IsActive(unsigned id) const;
  int Period(unsigned id) const;  // effective period in ms, -1 when not running


 private:
  std::function<void(unsigned)> onTick_;
  std::map<unsigned, QTimer*> timers_;
  std::map<unsigned, int> periods_;
};
