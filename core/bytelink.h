#pragma once
// A byte link to the tester: reads chunks with the read time-outs of the line
// and writes commands. The serial port implements it; tests and tools use an
// in-memory link with scripted answers.
#include <QByteArray>
#include <functional>

class ByteLink {
 public:
  using ReadDone = std::function<void(const QByteArray&)>;
  virtual ~ByteLink() = default;

  // Starts the read of at most maxBytes. `done` runs exactly once, from the
  // event loop or before StartRead returns; it gets what arrived within the
  // read time-outs (possibly nothing). False when a read is already pending
  // or the link is not open; `done` is then not called.
  virtual bool StartRead(int maxBytes, ReadDone done) = 0;
  // Writes the bytes; returns how many went and sets *error to 0 or an errno value.
  virtual int Write(const QByteArray& bytes, int* error) = 0;
  // Read failures (hang-up, I/O error) since the last call.
  virtual int TakeReadFailures() = 0;
  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;
};
