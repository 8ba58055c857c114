#pragma once
// The device window "Messgerät": the connected tester, its settings, the live
// display, the measured values of the record on display and the records loaded
// from the tester. One class; its facets live in separate units:
//   messgeraet_window.cpp    construction, controls, set-up, debug visibility, closing
//   messgeraet_settings.cpp  RefreshSettings (standards, classes, limits)
//   messgeraet_serial.cpp    the serial port link
//   messgeraet_protocol.cpp  line protocol, poll cycle, log, load-all sequence
//   messgeraet_values.cpp    range texts, measured-value scaling and display
//   messgeraet_records.cpp   the button dispatcher and record navigation
#include <QSize>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "core/session.h"
#include "core/tables.h"
#include "core/serialport.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QCheckBox;
class QGroupBox;
class QComboBox;
class QListWidget;
class TColorStatic;
class WinTimers;
class SerialPort;

class TMessgeraet : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kRecordSlots = TesterSession::kRecordSlots;
  static constexpr int kMaxRecords = TesterSession::kMaxRecords;
  // Size of template 1000 in dialog units.
  static constexpr QSize kTemplateSize{385, 455};
  // The characters a limit field accepts.
  static constexpr const char* kLimitCharacters = "-0123456789. ";
  // The characters a limit field holds at most: what the report form copies.
  static constexpr int kLimitMaxChars = 18;

  TMessgeraet(QWidget* parent, int resId, int debugMode);
  ~TMessgeraet() override;

  // ---- window (messgeraet_window.cpp)
  void SetupWindow();
  // A command from a control (control != nullptr) or from a menu (nullptr).
  void EvCommand(int id, QWidget* control, int notifyCode);
  void EvSelChangeNorm();
  void ShowDebugControls();
  bool CanClose();
  // Dialog item texts by control id.
  void SetDlgItemText(int id, const QString& text);
  QString GetDlgItemText(int id) const;
  QWidget* Control(int id) const;

  // ---- settings (messgeraet_settings.cpp)
  void RefreshSettings();

  // ---- serial link (messgeraet_serial.cpp)
  void OpenPort();
  void ClosePort();
  void ShowPortStatus();
  // Writes the bytes; counts them and a write error; returns the bytes written.
  int WritePort(const QByteArray& bytes);
  void ShowByteCounts();
  // Adds to a byte counter the way a 32-bit counter wraps (never undefined overflow).
  static void CountBytes(int& counter, int bytes) { TesterSession::CountBytes(counter, bytes); }
  void ShowErrorCounts();
  void EvSelChangeCom();
  // COM1..COM30 come first in the port list; the machine's serial devices follow.
  static constexpr int kComPorts = 30;
  // Brings the machine's devices in the port list up to date (the list also
  // does so whenever it is opened).
  void RefreshPortList();
  // The port list's tool tip names the device file the selected entry opens.
  void ShowPortDevice();
  static QString UserName();

  // ---- protocol and poll cycle (messgeraet_protocol.cpp)
  void EvTimer(unsigned id);
  // Returns the bytes written (0 when the port is not open).
  int SendCommand(const QByteArray& text);
  // Starts the read of one chunk; its completion finishes the poll tick
  // (framing, answers, one load step, poll timer re-armed). The event loop keeps
  // running while the read waits.
  void Receive();
  void FinishPollTick(const QByteArray& chunk);
  // One chunk as the port delivered it: NUL bytes dropped, counted, framed.
  void ProcessChunk(const QByteArray& chunk);
  void HandleLine(const QString& line);
  void LogLine(const QString& text);
  void ClearLog();
  void StepLoadAll();
  void EnableRecordButtons(bool enable);
  void ResetRecordCursor();
  void StartLoadAll();
  void StartDeleteAll();

  // ---- measured values (messgeraet_values.cpp)
  static QString RangeText(int code);
  void ShowRange(const QString& line);
  void ShowRange(bool parsed, const QString& word, unsigned code);
  void ShowRecord();
  void ShowRecordHex();

  // ---- record buttons (messgeraet_records.cpp)
  void ButtonClicked(int id);
  void RandomFill();
  // Asked before "Lade Alle Datensätze" starts a load that replaces the
  // records of the last one, and before "Lösche alle Datensätze" (true)
  // empties them (the record list asks while it holds typed data); false
  // leaves everything as it is.
  std::function<bool(bool deleting)> ConfirmLoadAll;

  // ===== members

  int DebugMode = 0;

  // Controls, in the groups the window's operations index.
  QListWidget* LogList = nullptr;             // 1202
  TColorStatic* Display = nullptr;            // 1449
  std::array<QLabel*, 4> DebugStatic{};       // 203, 204, 205, 206
  std::array<QLabel*, 4> ValueStatic{};       // 1413, 1412, 1409, 1410
  std::array<QLabel*, 4> UnitStatic{};        // 1421, 1420, 1417, 1418
  std::array<QLabel*, 4> LabelStatic{};       // 1422, 1423, 1426, 1425
  std::array<QLineEdit*, 4> LimitEdit{};      // 1437, 1430, 1434, 1435
  std::array<QLabel*, 4> MethodStatic{};      // 1445, 1444, 1441, 1442
  std::array<QLabel*, 6> CommStatic{};        // 1106, 1102, 1101, 1100, 1456, 1455
  std::array<QPushButton*, 6> DebugButton{};  // 1459, 1458, 1457, 1469, 1447, 1201
  QGroupBox* CommGroup = nullptr;             // 1200
  std::array<QPushButton*, 7> RecordButton{}; // 1302, 105, 101, 104, 110, 109, 102
  QComboBox* NormCombo = nullptr;             // 1461
  QComboBox* KlasseCombo = nullptr;           // 1462
  QComboBox* ComCombo = nullptr;              // 1470
  QCheckBox* ConnectionTestBox = nullptr;     // 1446

  int VdePruefgrundlage = 4;
  int VdeKlasse = 1;
  RowAppliesTable RowApplies{};
  DefaultLimitsTable DefaultLimits{};

  // The conversation with the tester (core/session); the window is its view.
  // The members the protocol works on live there and are reachable here
  // under their names.
 private:
  class View;
  static std::unique_ptr<SessionView> MakeView(TMessgeraet* w);
  std::unique_ptr<SessionView> view_ = MakeView(this);

 public:
  TesterSession Session{view_.get()};

  // Device data.
  QString& DeviceText = Session.DeviceText;  // at most 99 characters
  int (&MeasurementAvailable)[4] = Session.MeasurementAvailable;
  int& RecordCount = Session.RecordCount;
  std::unique_ptr<DeviceRecord[]>& Records = Session.Records;  // kRecordSlots entries
  int& RecordIndex = Session.RecordIndex;
  int& EntryIndex = Session.EntryIndex;

  // Serial link.
  std::unique_ptr<SerialPort> Port;
  QString PortName;  // "Com4", or "\\\\.\\Com10" from port 10 on
  bool& PortReady = Session.PortReady;
  bool& ReopenPending = Session.ReopenPending;
  SerialPort::LineSettings Dcb{};
  SerialPort::Timeouts Timeouts{};
  int& TxBytes = Session.TxBytes;
  int& RxBytes = Session.RxBytes;
  int& TxErrors = Session.TxErrors;
  int& RxErrors = Session.RxErrors;

  // Protocol.
  static constexpr unsigned PollTimer = TesterSession::PollTimer, LinkTimer = TesterSession::LinkTimer,
                            LockTimer = TesterSession::LockTimer;
  WinTimers* Timers = nullptr;
  QByteArray& LineBuffer = Session.LineBuffer;  // the line being assembled (at most 511 characters)
  int& LineLength = Session.LineLength;
  int& ProbeCount = Session.ProbeCount;
  int& DeviceType = Session.DeviceType;
  unsigned int& DeviceAddress = Session.DeviceAddress;
  int& DeviceRecordNumber = Session.DeviceRecordNumber;
  int& LoadState = Session.LoadState;
  int& DeleteAllPending = Session.DeleteAllPending;
  int& ButtonsReleased = Session.ButtonsReleased;
  bool& ReadInFlight = Session.ReadInFlight;  // a poll tick is waiting for its read
  int& SequenceIdleTicks = Session.SequenceIdleTicks;
  static constexpr int kLoadPatienceTicks = TesterSession::kLoadPatienceTicks;
  static constexpr int kDeletePatienceTicks = TesterSession::kDeletePatienceTicks;
  bool& LateAnswersIgnored = Session.LateAnswersIgnored;
  // The status text under the record buttons: why a load or delete-all ended early.
  static constexpr int kSequenceStatusId = 1471;
  static constexpr int kLogLimit = 5000;  // the log keeps the newest lines
  void NoteSequenceProgress();
  void AbandonSequence();

 signals:
  // A load from the tester ended; Records 0..RecordCount-1 are what it brought.
  void RecordsLoaded();

 private:
  void CreateControls();
  static void AddSorted(QComboBox* combo, const QString& text);
};
