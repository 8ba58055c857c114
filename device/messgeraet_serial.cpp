// The device window's serial port link: open and configure the chosen port,
// write commands, count bytes and errors, show the port's state.
#include <QComboBox>
#include <QLabel>

#include "device/TMessgeraet.h"
#include "platform/cformat.h"
#include "platform/serialport.h"

namespace {
const QString kDevicePrefix = QStringLiteral("\\\\.\\");
}

void TMessgeraet::OpenPort() {
  PortReady = false;
  QString result;
  int n = ComCombo ? ComCombo->currentIndex() : 0;
  if (n < 0) n = 0;
  int number = n + 1;
  PortName = CFormat("Com%d", number);
  if (number >= 10) PortName = kDevicePrefix + PortName;

  if (!Port) Port = std::make_unique<SerialPort>();
  if (!Port->Create(PortName)) result += QStringLiteral("- Ungültiges Handle");
  if (!Port->Setup(1024, 1024)) result += QStringLiteral("- Port nicht bereit");

  Port->GetState(&Dcb);
  Dcb.BaudRate = 38400;
  Dcb.ByteSize = 8;
  Dcb.Parity = 0;
  Dcb.StopBits = 2;
  Dcb.AbortOnError = false;
  if (!Port->SetState(Dcb)) result += QStringLiteral("- Port-Status nicht konfigurierbar");

  Port->GetTimeouts(&Timeouts);
  Timeouts.ReadIntervalTimeout = 50;
  Timeouts.ReadTotalTimeoutMultiplier = 10;
  Timeouts.ReadTotalTimeoutConstant = 50;
  Timeouts.WriteTotalTimeoutMultiplier = 10;
  Timeouts.WriteTotalTimeoutConstant = 50;
  if (!Port->SetTimeouts(Timeouts)) result += QStringLiteral("- Port-Timeouts nicht konfigurierbar");

  if (result.isEmpty()) {
    result = QStringLiteral("- COM ready !");
    PortReady = true;
  } else {
    Port->Close();
  }
  SetDlgItemText(1104, result.left(500));
}

void TMessgeraet::ClosePort() {
  if (Port) Port->Close();
  PortReady = false;
}

void TMessgeraet::ShowPortStatus() {
  if (!PortReady) {
    SetDlgItemText(1104, QStringLiteral("Schnittstelle nicht bereit!"));
    return;
  }
  QString name = PortName;
  if (name.startsWith(kDevicePrefix)) name = name.mid(kDevicePrefix.size());
  SetDlgItemText(1104, name + QStringLiteral(":") + CFormat("Baudrate: %u", Dcb.BaudRate) +
                           CFormat("/ Stopbits: %d", Dcb.StopBits) + CFormat("/ Databits: %d", Dcb.ByteSize) +
                           CFormat("/ Parity: %d", Dcb.Parity));
}

int TMessgeraet::WritePort(const QByteArray& bytes) {
  if (!Port) return 0;
  int error = 0;
  int written = Port->Write(bytes, &error);
  if (error != 0) ++TxErrors;
  CountBytes(TxBytes, written);
  return written;
}

void TMessgeraet::CountBytes(int& counter, int bytes) {
  counter = static_cast<int>(static_cast<quint32>(counter) + static_cast<quint32>(bytes));
}

void TMessgeraet::ShowByteCounts() { SetDlgItemText(1102, CFormat("%7d/%7d", TxBytes, RxBytes)); }

void TMessgeraet::ShowErrorCounts() { SetDlgItemText(1100, CFormat("%6d / %6d", TxErrors, RxErrors)); }

void TMessgeraet::EvSelChangeCom() {
  ClosePort();
  OpenPort();
  ShowPortStatus();
}
