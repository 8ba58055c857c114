#include "core/session.h"

#include "core/bytelink.h"
#include "core/cformat.h"

namespace {
constexpr int kLineMax = 511;   // characters a line keeps
constexpr int kLogCut = 190;    // characters of a line the log shows
constexpr int kChunkBytes = 5;  // bytes one read takes

const QString kNoComTimer = QStringLiteral("Keine Timer für COM-Socket verfügbar!");
}  // namespace

TesterSession::TesterSession(SessionView* view)
    : View(view), Records(std::make_unique<DeviceRecord[]>(kRecordSlots)) {}

// ---- ticks

void TesterSession::PollTick() {
  // A tick whose read still waits is not finished; it re-arms the timer itself.
  if (ReadInFlight) return;
  View->KillTimer(PollTimer);
  if (!PortReady || !Link) {
    FinishPollTick(QByteArray());
    return;
  }
  ReadInFlight = true;
  const bool started = Link->StartRead(kChunkBytes, [this](const QByteArray& bytes) {
    ReadInFlight = false;
    FinishPollTick(bytes);
  });
  if (!started) {
    ReadInFlight = false;
    FinishPollTick(QByteArray());
  }
}

void TesterSession::FinishPollTick(const QByteArray& chunk) {
  if (Link) RxErrors += Link->TakeReadFailures();
  ProcessChunk(chunk);
  StepLoadAll();
  if (!View->SetTimer(PollTimer, 0)) View->TimerMissing(QStringLiteral("Keine Timer für CAN-Socket verfügbar!"));
}

void TesterSession::LinkTick() {
  if (ReopenPending) {
    View->OpenLink();
    ReopenPending = false;
  }
  if (View->ConnectionTestOn() && LoadState == 0) {
    if (ProbeCount >= 2) {
      View->ShowText(1448, QStringLiteral("Offline"));
      View->ReopenLink();
    } else {
      ++ProbeCount;
    }
    SendCommand(QByteArrayLiteral("v\r"));
  }
  View->ShowCounters();
}

void TesterSession::LockTick() {
  View->KillTimer(LockTimer);
  // The lock timer doubles as the watchdog of a waiting sequence: a tester
  // that fell silent must not leave the buttons disabled for good.
  if (LoadState != 0 || DeleteAllPending) {
    ++SequenceIdleTicks;
    const int patience = DeleteAllPending ? kDeletePatienceTicks : kLoadPatienceTicks;
    if (SequenceIdleTicks >= patience)
      AbandonSequence();
    else
      View->SetTimer(LockTimer, 2000);
  }
}

// ---- bytes and lines

void TesterSession::ProcessChunk(const QByteArray& raw) {
  // NUL bytes are dropped, not taken as the end of the chunk: the start of the
  // next answer may share a read with the NUL that follows an answer.
  QByteArray chunk = raw;
  chunk.replace('\0', QByteArray());
  CountBytes(RxBytes, static_cast<int>(chunk.size()));
  if (LineBuffer.size() < kLineMax + 1) LineBuffer.resize(kLineMax + 1);
  int storedInOpenLine = 0;  // characters this chunk added to the line still open
  for (char c : chunk) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b == 0x0D) {
      const QString line = QString::fromLatin1(LineBuffer.constData(), LineLength);
      LineLength = 0;
      storedInOpenLine = 0;
      HandleLine(line);
    } else if (b >= 0x20 && b <= 0x7E) {
      if (LineLength < kLineMax) {
        LineBuffer[LineLength++] = c;
        ++storedInOpenLine;
      }
    }
    // every other byte (LF, control characters, 0x80 and up) is dropped
  }
  // An answer the sequence waits for that is still coming in keeps it alive,
  // however slowly it comes, but only while new characters of it arrive: a
  // piece left over from a tester unplugged mid-answer is no progress. Other
  // lines (live values, junk) do not count, or a tester that measures but
  // ignores the requests would hold the sequence for ever.
  if (storedInOpenLine > 0 && (LoadState != 0 || DeleteAllPending) &&
      (LineBuffer[0] == 'd' || LineBuffer[0] == 's'))
    NoteSequenceProgress();
}

void TesterSession::HandleLine(const QString& line) {
  View->LogLine(QStringLiteral("RxD:") + line.left(kLogCut));
  ProbeCount = 0;
  View->ShowText(1448, QStringLiteral("Online"));
  const int length = static_cast<int>(line.size());

  // Identification answer: ?QKnnn?vvvvvvvv
  if (length > 2 && line[1] == QLatin1Char('Q') && line[2] == QLatin1Char('K')) {
    DeviceText = QStringLiteral("Zelto-Gerätetester  ") + line.mid(7, 8);
    View->ShowText(1304, DeviceText);
    const QString model = line.mid(3, 3);
    const int type = (model == QLatin1String("236") || model == QLatin1String("248")) ? 2 : 0;
    if (type != DeviceType) {
      DeviceType = type;
      if (type == 2)
        for (int& available : MeasurementAvailable) available = 1;
      View->DeviceTypeChanged();
    }
  }

  // Range answer: m <word> <code>
  if (length > 5 && line[0] == QLatin1Char('m') && DeviceType == 2) {
    QString word;
    unsigned code = 0;
    ScanField fields[2] = {{ScanField::Word, &word, 51}, {ScanField::Hex, &code}};
    const bool parsed = CScanFields(line, "m %s %x", fields, 2) == 2;
    View->ShowRange(parsed, word, code);
  }

  // Record-entry answer: d <address> <flags> <code> <raw>; also ends a delete-all.
  if (length > 5 && line[0] == QLatin1Char('d')) {
    unsigned address = 0, flags = 0, code = 0, raw = 0;
    ScanField fields[4] = {{ScanField::Hex, &address}, {ScanField::Hex, &flags},
                           {ScanField::Hex, &code}, {ScanField::Hex, &raw}};
    const bool parsed = CScanFields(line, "d %x %x %x %x", fields, 4) == 4;
    // An answer to a load that was given up must not change the records kept from it.
    if (DeviceType == 2 && !LateAnswersIgnored) {
      if (parsed) {
        if (RecordIndex < 0 || RecordIndex >= kRecordSlots) RecordIndex = 0;
        DeviceRecord& record = Records[RecordIndex];
        if (EntryIndex == 0) {
          const int norm = static_cast<int>(flags & 1u);
          View->SelectNorm(norm);
          record.NormIndex = norm;
          const int klasse = View->SelectedClass();
          record.ClassIndex = klasse < 0 ? 0 : klasse;
        }
        record.RangeCode[EntryIndex] = static_cast<int>(code);
        record.RawValue[EntryIndex] = static_cast<int>(raw);
        if (EntryIndex == 3) View->RecordComplete();
        EntryIndex = (EntryIndex + 1) % 4;
      }
      if (LoadState != 0) {
        ++LoadState;
        NoteSequenceProgress();
      }
      if (parsed) {
        DeviceRecordNumber = static_cast<int>(address / 4u);
        View->ShowText(1453, CFormat("%03d", DeviceRecordNumber + 1));
        DeviceAddress = address;
        View->ShowText(1455, CFormat("%04u", DeviceAddress + 1u));
      }
    }
    if (DeleteAllPending == 1) {
      DeleteAllPending = 0;
      LoadState = 1;
      NoteSequenceProgress();
    }
  }

  // Count answer: s <count>. The number is unsigned: anything from 500 on,
  // also what would read as negative, means the full 500.
  if (length > 5 && line[0] == QLatin1Char('s')) {
    unsigned count = 0;
    ScanField field{ScanField::Hex, &count};
    if (CScanFields(line, "s %X", &field, 1) == 1 && !LateAnswersIgnored) {
      RecordCount = count >= static_cast<unsigned>(kMaxRecords) ? kMaxRecords : static_cast<int>(count);
      View->ShowText(1466, CFormat("%03d", RecordCount));
      if (LoadState != 0) NoteSequenceProgress();
    }
  }
}

int TesterSession::SendCommand(const QByteArray& text) {
  if (!PortReady) return 0;
  const int written = WritePort(text);
  if (written >= 1) {
    QString shown = QString::fromLatin1(text.left(kLogCut));
    shown.chop(1);
    View->LogLine(QStringLiteral("TxD:") + shown);
  }
  return written;
}

int TesterSession::WritePort(const QByteArray& bytes) {
  if (!Link) return 0;
  int error = 0;
  const int written = Link->Write(bytes, &error);
  if (error != 0) ++TxErrors;
  CountBytes(TxBytes, written);
  return written;
}

void TesterSession::CountBytes(int& counter, int bytes) {
  counter = static_cast<int>(static_cast<quint32>(counter) + static_cast<quint32>(bytes));
}

// ---- sequences

void TesterSession::StepLoadAll() {
  switch (LoadState) {
    case 0:
      if (ButtonsReleased == 0) {
        EnableRecordButtons(true);
        ButtonsReleased = 1;
      }
      break;
    case 1:
      ButtonsReleased = 0;
      SendCommand(QByteArrayLiteral("s\r"));
      LoadState = 2;
      break;
    case 2:
    case 4:
    case 6:
    case 8:
      break;  // waiting for the record-entry answer
    case 3:
    case 5:
    case 7:
      ++DeviceAddress;
      SendCommand(CFormat("l %04X\r", DeviceAddress).toLatin1());
      ++LoadState;
      break;
    case 9:
      ++RecordIndex;
      if (RecordIndex >= RecordCount) {
        RecordIndex = 0;
        View->ShowRecord();
        LoadState = 0;
        View->LoadEnded();
      } else {
        ++DeviceAddress;
        SendCommand(CFormat("l %04X\r", DeviceAddress).toLatin1());
        LoadState = 2;
      }
      break;
    default:
      LoadState = 0;
      break;
  }
}

void TesterSession::EnableRecordButtons(bool enable) {
  if (!enable) {
    SequenceIdleTicks = 0;
    if (!View->SetTimer(LockTimer, 2000)) View->TimerMissing(kNoComTimer);
  }
  View->EnableRecordButtons(enable);
}

void TesterSession::ResetRecordCursor() {
  EntryIndex = 0;
  RecordIndex = 0;
  View->ClearValues();
}

void TesterSession::BeginSequence() {
  LateAnswersIgnored = false;
  View->ShowText(1471, QString());
  EnableRecordButtons(false);
  ResetRecordCursor();
}

void TesterSession::StartLoadAll() {
  BeginSequence();
  // The buttons are disabled now, so the idle state must give them back when
  // the sequence ends, also when an answer already under way moves the load
  // on before its first step (which would otherwise leave them disabled).
  ButtonsReleased = 0;
  if (PortReady) LoadState = 1;
}

void TesterSession::StartDeleteAll() {
  BeginSequence();
  DeleteAllPending = 1;
  if (SendCommand(QByteArrayLiteral("d all\r")) <= 0) {
    // Not sent, so no answer will come: do not wait for one.
    DeleteAllPending = 0;
    ButtonsReleased = 0;
  }
}

void TesterSession::CancelSequence() {
  if (LoadState != 0 || DeleteAllPending) AbandonSequence();
}

void TesterSession::NoteSequenceProgress() { SequenceIdleTicks = 0; }

void TesterSession::AbandonSequence() {
  // The tester stopped answering. What was read completely stays; the count
  // then says how many records the PC really holds.
  const bool wasLoading = LoadState != 0;
  LoadState = 0;
  DeleteAllPending = 0;
  SequenceIdleTicks = 0;
  // Answers that still come for the sequence (a tester that was only frozen)
  // are logged but change nothing, and a piece of an answer cut off by the
  // hang-up does not run into the next line.
  LateAnswersIgnored = true;
  LineLength = 0;
  if (wasLoading) {
    if (RecordIndex < RecordCount) RecordCount = RecordIndex;
    EntryIndex = 0;
    RecordIndex = 0;
    View->ShowText(1466, CFormat("%03d", RecordCount));
    if (RecordCount > 0) View->ShowRecord();
    View->ShowText(1471, RecordCount == 1
                             ? QStringLiteral("Laden abgebrochen: 1 Datensatz vollständig gelesen.")
                             : QStringLiteral("Laden abgebrochen: %1 Datensätze vollständig gelesen.").arg(RecordCount));
    View->LoadEnded();
  } else {
    View->ShowText(1471, QStringLiteral("Löschen abgebrochen: Das Gerät antwortet nicht."));
  }
  ButtonsReleased = 0;  // the next idle tick enables the record buttons
}
