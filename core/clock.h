#pragma once
// The program's idea of "now": the system clock, unless a test installs a
// clock of its own (two visits a year apart run in one test). Everything that
// dates a test, a change or a due list asks here.
#include <QDate>
#include <QDateTime>
#include <functional>

namespace Clock {

// The local date and time now.
QDateTime Now();
// Today's local date.
QDate Today();

// Makes `now` the clock in use (an empty function: the system clock again).
void Install(std::function<QDateTime()> now);

// Installs a clock for its lifetime and then gives the one before back.
class Scoped {
 public:
  explicit Scoped(std::function<QDateTime()> now);
  ~Scoped();
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

 private:
  std::function<QDateTime()> previous_;
};

}  // namespace Clock
