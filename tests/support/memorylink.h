#pragma once
// A byte link in memory: what the far end "sends" is queued with Send() and
// read in chunks at once; what the near end writes is collected for Sent().
// For tests and for tools that replay a recorded exchange.
#include <QByteArray>
#include <functional>

#include "core/bytelink.h"

class MemoryLink : public ByteLink {
 public:
  bool StartRead(int maxBytes, ReadDone done) override;
  int Write(const QByteArray& bytes, int* error) override;
  int TakeReadFailures() override;
  bool IsOpen() const override { return open_; }
  void Close() override { open_ = false; }

  void Open() { open_ = true; }
  // Bytes from the far end, read by the next reads.
  void Send(const QByteArray& bytes) { incoming_ += bytes; }
  // What was written since the last call.
  QByteArray Sent();
  // Called with every command written; may Send() the answer at once, as a
  // scripted tester does.
  std::function<void(const QByteArray& written)> OnWrite;
  // Makes the next reads report a hang-up.
  void HangUp() { failures_ += 1; }

 private:
  bool open_ = true;
  QByteArray incoming_;
  QByteArray written_;
  int failures_ = 0;
};
