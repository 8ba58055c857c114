#include "platform/wintimer.h"

#include "platform/seams.h"

WinTimers::WinTimers(QObject* parent, std::function<void(unsigned)> onTick)
    : QObject(parent), onTick_(std::move(onTick)) {}

WinTimers::~WinTimers() = default;

bool WinTimers::SetTimer(unsigned id, int periodMs) {
  int period = periodMs < kShortestPeriodMs ? kShortestPeriodMs : periodMs;
  bool started = false;
  if (Seams::TimerByResponder(id, period, &started)) {
    // Ticks are driven by hand (or no timer can be had): no real timer runs.
    if (started) periods_[id] = period;
    return started;
  }
  periods_[id] = period;
  QTimer*& timer = timers_[id];
  if (!timer) {
    timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id] {
      if (onTick_) onTick_(id);
    });
  }
  timer->start(period);
  return true;
}

void WinTimers::KillTimer(unsigned id) {
  periods_.erase(id);
  auto it = timers_.find(id);
  if (it != timers_.end() && it->second) it->second->stop();
}

bool WinTimers::IsActive(unsigned id) const { return periods_.count(id) != 0; }

int WinTimers::Period(unsigned id) const {
  auto it = periods_.find(id);
  return it == periods_.end() ? -1 : it->second;
}


#include "moc_wintimer.cpp"
