#include "platform/wintimer.h"

namespace {
bool g_forceFailure = false;
bool g_manual = false;
}  // namespace

WinTimers::WinTimers(QObject* parent, std::function<void(unsigned)> onTick)
    : QObject(parent), onTick_(std::move(onTick)) {}

WinTimers::~WinTimers() = default;

bool WinTimers::SetTimer(unsigned id, int periodMs) {
  if (g_forceFailure) return false;
  int period = periodMs < kShortestPeriodMs ? kShortestPeriodMs : periodMs;
  periods_[id] = period;
  if (g_manual) return true;
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

void WinTimers::ForceFailureForTests(bool fail) { g_forceFailure = fail; }
void WinTimers::SetManualForTests(bool manual) { g_manual = manual; }

#include "moc_wintimer.cpp"
