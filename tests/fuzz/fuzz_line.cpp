// Bytes from the tester, chunk by chunk, mixed with poll, lock and link ticks
// and the user's load and delete-all clicks. The rules: every counter stays in
// its range, and a sequence always ends once the tester falls silent.
#include <QPushButton>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "platform/wintimer.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

void CheckRanges(const TMessgeraet& w) {
  FUZZ_CHECK(w.RecordCount >= 0 && w.RecordCount <= TMessgeraet::kMaxRecords);
  FUZZ_CHECK(w.LineLength >= 0 && w.LineLength <= 511);
  FUZZ_CHECK(w.EntryIndex >= 0 && w.EntryIndex <= 3);
  FUZZ_CHECK(w.RecordIndex >= 0 && w.RecordIndex < TMessgeraet::kRecordSlots);
  // Answers may raise the state past 9 between two steps (a tester that sends
  // entries unasked); the next step takes it back to idle.
  FUZZ_CHECK(w.LoadState >= 0);
  FUZZ_CHECK(w.DeviceType == 0 || w.DeviceType == 2);
}

bool Waiting(const TMessgeraet& w) { return w.LoadState != 0 || w.DeleteAllPending != 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fuzz::App();
  // Objects the last window handed to deleteLater go now, so memory stays flat.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  Seams::SetTimerResponder([](unsigned, int) { return true; });
  TMessgeraet w(nullptr, 1000, 1);
  w.SetupWindow();
  // A port that takes nothing: commands are "sent" without a line, so the
  // sequences run on what the input brings.
  w.PortReady = true;

  size_t i = 0;
  while (i < size) {
    const uint8_t op = data[i++];
    switch (op % 8) {
      case 0:
      case 1:
      case 2: {  // a chunk of up to five bytes
        size_t n = std::min<size_t>(op / 8 % 6, size - i);
        w.ProcessChunk(QByteArray(reinterpret_cast<const char*>(data + i), static_cast<int>(n)));
        i += n;
        break;
      }
      case 3:
        w.StepLoadAll();
        FUZZ_CHECK(w.LoadState <= 9);
        break;
      case 4: w.EvTimer(TMessgeraet::LockTimer); break;
      case 5: w.EvTimer(TMessgeraet::LinkTimer); w.PortReady = true; break;
      case 6: if (op & 0x80) w.ButtonClicked(105); else w.ButtonClicked(1457); break;
      case 7:
        // A delete-all that went out (the port here takes nothing).
        if (!Waiting(w)) {
          w.EnableRecordButtons(false);
          w.ResetRecordCursor();
          w.DeleteAllPending = 1;
        }
        break;
    }
    CheckRanges(w);
  }

  // The tester falls silent: within the patience of a delete-all (the longer
  // one) plus the load it starts, every sequence ends and the buttons return.
  const int rounds = 2 * (TMessgeraet::kDeletePatienceTicks + TMessgeraet::kLoadPatienceTicks) + 4;
  for (int r = 0; r < rounds && Waiting(w); ++r) {
    // A waiting sequence always has its watchdog running.
    FUZZ_CHECK(w.Timers->IsActive(TMessgeraet::LockTimer));
    for (int poll = 0; poll < 3; ++poll) {
      w.ProcessChunk(QByteArray());
      w.StepLoadAll();
    }
    w.EvTimer(TMessgeraet::LockTimer);
    CheckRanges(w);
  }
  FUZZ_CHECK(!Waiting(w));
  w.StepLoadAll();
  for (QPushButton* b : w.RecordButton) FUZZ_CHECK(b->isEnabled());
  Seams::SetTimerResponder(nullptr);
  return 0;
}
