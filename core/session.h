#pragma once
// The conversation with the tester as plain data: line framing, the answers,
// the load-all and delete-all sequences, online/offline and probing, the byte
// counters and the records loaded from the tester. It takes timer ticks and
// the bytes of a ByteLink, and tells a SessionView what changed; it never
// touches a window. The device window is one such view, a command-line tool
// or a test another.
#include <QByteArray>
#include <QString>
#include <memory>

class ByteLink;

// One test of one appliance as the tester stores it, in four entries.
struct DeviceRecord {
  int ClassIndex = 0;  // item index of "Schutzklasse:" (0..2)
  int NormIndex = 0;   // 0 = "VDE 0701 / 0702", 1 = "VDE 0751"
  int RangeCode[4] = {0, 0, 0, 0};
  int RawValue[4] = {0, 0, 0, 0};
};

// What a session reports, and the little it asks. Every call defaults to
// doing nothing, so a view takes only what it shows.
class SessionView {
 public:
  virtual ~SessionView() = default;
  // A line for the communication log ("TxD:...", "RxD:...").
  virtual void LogLine(const QString&) {}
  // A text for one of the displays, by the device window's control id:
  // 1448 connection, 1304 identification, 1453 record number, 1455 address,
  // 1466 record count, 1471 why a sequence ended early.
  virtual void ShowText(int, const QString&) {}
  // The range answer "m <word> <code>"; parsed false when it had not both fields.
  virtual void ShowRange(bool /*parsed*/, const QString& /*word*/, unsigned /*code*/) {}
  // The device type changed, and with it which measurements are available.
  virtual void DeviceTypeChanged() {}
  // The first entry of a record names the standard (0 or 1).
  virtual void SelectNorm(int) {}
  // The protection class the user selected (0..2); the tester does not send it.
  virtual int SelectedClass() const { return 0; }
  // The fourth entry of the current record arrived.
  virtual void RecordComplete() {}
  // Record RecordIndex is to be shown (a load ended).
  virtual void ShowRecord() {}
  // A load from the tester ended (completely, cancelled or given up): the
  // records 0..RecordCount-1 are what it brought.
  virtual void LoadEnded() {}
  virtual void EnableRecordButtons(bool) {}
  // The four values on show go back to "?".
  virtual void ClearValues() {}
  // Whether the connection test (probing) is switched on.
  virtual bool ConnectionTestOn() const { return true; }
  // The link: open it (first tick, a new port), or close and open it again
  // (the tester went silent); the view sets Link and PortReady.
  virtual void OpenLink() {}
  virtual void ReopenLink() {}
  // The byte and error counters changed.
  virtual void ShowCounters() {}
  // Timers by id; SetTimer false when no timer can be had.
  virtual bool SetTimer(unsigned, int) { return true; }
  virtual void KillTimer(unsigned) {}
  // A timer could not be had: the message's caption.
  virtual void TimerMissing(const QString&) {}
};

class TesterSession {
 public:
  static constexpr int kRecordSlots = 501;
  static constexpr int kMaxRecords = 500;
  static constexpr unsigned PollTimer = 1, LinkTimer = 2, LockTimer = 3;
  // Lock-timer periods (2 s each) that may go by while a waiting sequence gets
  // no new character of an awaited answer: 10 s for a load, 30 s for a
  // delete-all (the tester erases its memory first).
  static constexpr int kLoadPatienceTicks = 5;
  static constexpr int kDeletePatienceTicks = 15;

  explicit TesterSession(SessionView* view);
  TesterSession(const TesterSession&) = delete;
  TesterSession& operator=(const TesterSession&) = delete;

  // ---- ticks
  // Poll tick: reads one chunk (asynchronously), then frames it, takes one
  // step of the load sequence and re-arms the poll timer.
  void PollTick();
  // The read of a poll tick finished with these bytes.
  void FinishPollTick(const QByteArray& chunk);
  // Link tick (1 s): opens a link that is to be opened, probes the tester
  // while the connection test is on and no sequence runs, declares "Offline".
  void LinkTick();
  // Lock tick: the watchdog of a waiting sequence.
  void LockTick();

  // ---- bytes and lines
  // One chunk as the link delivered it: NUL bytes dropped, counted, framed.
  void ProcessChunk(const QByteArray& chunk);
  void HandleLine(const QString& line);
  // Returns the bytes written (0 when the link is not open).
  int SendCommand(const QByteArray& text);
  int WritePort(const QByteArray& bytes);
  // Adds to a byte counter the way a 32-bit counter wraps.
  static void CountBytes(int& counter, int bytes);

  // ---- sequences
  void StepLoadAll();
  void EnableRecordButtons(bool enable);
  void ResetRecordCursor();
  // What the load-all and delete-all sequences do first: late answers count
  // again, the status text is cleared, the record buttons are disabled and
  // the record cursor goes back to the start.
  void BeginSequence();
  void StartLoadAll();
  void StartDeleteAll();
  // Stops a running load at once (the user cancels): the records read
  // completely stay, as when the tester falls silent.
  void CancelSequence();
  void NoteSequenceProgress();
  void AbandonSequence();

  // ===== state
  SessionView* View;
  ByteLink* Link = nullptr;
  bool PortReady = false;
  bool ReopenPending = true;
  bool ReadInFlight = false;
  int TxBytes = 0, RxBytes = 0, TxErrors = 0, RxErrors = 0;

  QString DeviceText = QStringLiteral("?");
  int MeasurementAvailable[4] = {0, 0, 0, 0};
  int RecordCount = 0;
  std::unique_ptr<DeviceRecord[]> Records;  // kRecordSlots entries
  int RecordIndex = 0;
  int EntryIndex = 0;

  QByteArray LineBuffer;  // the line being assembled (at most 511 characters)
  int LineLength = 0;
  int ProbeCount = 0;
  int DeviceType = 0;
  unsigned int DeviceAddress = 0;
  int DeviceRecordNumber = 0;
  int LoadState = 0;
  int DeleteAllPending = 0;
  int ButtonsReleased = 0;
  int SequenceIdleTicks = 0;
  bool LateAnswersIgnored = false;
};
