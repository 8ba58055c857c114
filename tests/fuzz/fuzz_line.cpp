// Bytes from the tester, chunk by chunk, mixed with poll, lock and link ticks
// and the user's load, delete-all and "Laden" clicks, on the tester session.
// The rules: every counter stays in its range, a waiting sequence always has
// its watchdog running, and a sequence always ends once the tester falls silent.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "core/session.h"
#include "tests/support/memorylink.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

struct View : SessionView {
  std::map<unsigned, int> timers;
  bool buttons = true;
  void EnableRecordButtons(bool enable) override { buttons = enable; }
  bool SetTimer(unsigned id, int ms) override { return timers[id] = ms, true; }
  void KillTimer(unsigned id) override { timers.erase(id); }
};

void CheckRanges(const TesterSession& s) {
  FUZZ_CHECK(s.RecordCount >= 0 && s.RecordCount <= TesterSession::kMaxRecords);
  FUZZ_CHECK(s.LineLength >= 0 && s.LineLength <= 511);
  FUZZ_CHECK(s.EntryIndex >= 0 && s.EntryIndex <= 3);
  FUZZ_CHECK(s.RecordIndex >= 0 && s.RecordIndex < TesterSession::kRecordSlots);
  // Answers may raise the state past 9 between two steps (a tester that sends
  // entries unasked); the next step takes it back to idle.
  FUZZ_CHECK(s.LoadState >= 0);
  FUZZ_CHECK(s.DeviceType == 0 || s.DeviceType == 2);
}

bool Waiting(const TesterSession& s) { return s.LoadState != 0 || s.DeleteAllPending != 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  View view;
  MemoryLink link;
  TesterSession s(&view);
  s.Link = &link;
  s.PortReady = true;

  size_t i = 0;
  while (i < size) {
    const uint8_t op = data[i++];
    switch (op % 8) {
      case 0:
      case 1:
      case 2: {  // bytes on the line, taken by the next poll ticks
        size_t n = std::min<size_t>(op / 8 % 12, size - i);
        link.Send(QByteArray(reinterpret_cast<const char*>(data + i), static_cast<int>(n)));
        i += n;
        s.PollTick();
        break;
      }
      case 3:
        s.StepLoadAll();
        FUZZ_CHECK(s.LoadState <= 9);
        break;
      case 4: s.LockTick(); break;
      case 5: s.LinkTick(); break;
      case 6:
        if (op & 0x80) {
          s.StartLoadAll();
        } else {
          s.LateAnswersIgnored = false;  // "Laden" asks for one entry
          s.SendCommand("l 0000\r");
        }
        break;
      case 7:
        if (op & 0x80) s.StartDeleteAll();
        else s.CancelSequence();
        break;
    }
    CheckRanges(s);
  }

  // The tester falls silent: within the patience of a delete-all (the longer
  // one) plus the load it starts, every sequence ends and the buttons return.
  const int rounds = 2 * (TesterSession::kDeletePatienceTicks + TesterSession::kLoadPatienceTicks) + 4;
  for (int r = 0; r < rounds && Waiting(s); ++r) {
    FUZZ_CHECK(view.timers.count(TesterSession::LockTimer) == 1);
    for (int poll = 0; poll < 3; ++poll) s.PollTick();
    s.LockTick();
    CheckRanges(s);
  }
  FUZZ_CHECK(!Waiting(s));
  s.StepLoadAll();
  FUZZ_CHECK(view.buttons);
  return 0;
}
