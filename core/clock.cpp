#include "core/clock.h"

#include <mutex>

namespace Clock {
namespace {
std::mutex g_mutex;
std::function<QDateTime()>& Installed() {
  static std::function<QDateTime()> now;
  return now;
}
}  // namespace

QDateTime Now() {
  std::function<QDateTime()> now;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    now = Installed();
  }
  return now ? now() : QDateTime::currentDateTime();
}

QDate Today() { return Now().date(); }

void Install(std::function<QDateTime()> now) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Installed() = std::move(now);
}

Scoped::Scoped(std::function<QDateTime()> now) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    previous_ = Installed();
  }
  Install(std::move(now));
}

Scoped::~Scoped() { Install(std::move(previous_)); }

}  // namespace Clock
