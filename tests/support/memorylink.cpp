#include "tests/support/memorylink.h"

bool MemoryLink::StartRead(int maxBytes, ReadDone done) {
  if (!open_) return false;
  const QByteArray chunk = incoming_.left(maxBytes);
  incoming_.remove(0, chunk.size());
  done(chunk);
  return true;
}

int MemoryLink::Write(const QByteArray& bytes, int* error) {
  if (error) *error = 0;
  if (!open_) {
    if (error) *error = 5;  // EIO
    return 0;
  }
  written_ += bytes;
  if (OnWrite) OnWrite(bytes);
  return static_cast<int>(bytes.size());
}

int MemoryLink::TakeReadFailures() {
  const int n = failures_;
  failures_ = 0;
  return n;
}

QByteArray MemoryLink::Sent() {
  QByteArray sent = written_;
  written_.clear();
  return sent;
}
