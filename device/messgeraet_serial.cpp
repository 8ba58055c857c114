// The device window's serial port link: open and configure the chosen port,
// write commands, count bytes and errors, show the port's state.
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <cerrno>

#include "device/TMessgeraet.h"
#include "core/cformat.h"
#include "core/serialport.h"

namespace {
const QString kDevicePrefix = QStringLiteral("\\\\.\\");
}

void TMessgeraet::OpenPort() {
  PortReady = false;
  QString result;
  int n = ComCombo ? ComCombo->currentIndex() : 0;
  if (n < 0) n = 0;
  if (n >= kComPorts) {
    // A device of the machine: opened by its device file.
    PortName = ComCombo->itemData(n).toString();
  } else {
    int number = n + 1;
    PortName = CFormat("Com%d", number);
    if (number >= 10) PortName = kDevicePrefix + PortName;
  }
  ShowPortDevice();

  if (!Port) Port = std::make_unique<SerialPort>();
  Session.Link = Port.get();
  const SerialPort::TesterLineSteps steps = Port->OpenTesterLine(PortName, &Dcb, &Timeouts);
  if (!steps.created) result += QStringLiteral("- Ungültiges Handle");
  if (!steps.setUp) result += QStringLiteral("- Port nicht bereit");
  if (!steps.stateSet) result += QStringLiteral("- Port-Status nicht konfigurierbar");
  if (!steps.timeoutsSet) result += QStringLiteral("- Port-Timeouts nicht konfigurierbar");

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
  QWidget* status = Control(1104);
  if (!PortReady) {
    const int error = Port ? Port->OpenError() : 0;
    if (error == EACCES || error == EPERM) {
      // The usual cause on Linux: the user is not in the group that may use
      // serial devices. Say which group, and how to join it.
      SetDlgItemText(1104, QStringLiteral("Keine Berechtigung: Gruppe \u201Edialout\u201C nötig"));
      if (status)
        status->setToolTip(QStringLiteral("Die Schnittstelle %1 darf nur von Mitgliedern der Gruppe \u201Edialout\u201C "
                                          "geöffnet werden.\nAufnehmen mit:  sudo adduser %2 dialout\n"
                                          "(danach neu anmelden)")
                               .arg(ComCombo ? ComCombo->toolTip() : PortName, UserName()));
      return;
    }
    if (error == EBUSY) {
      // Another program (often a second Kelvara) holds the port: say so
      // rather than "not ready", and name it where the system tells.
      const QString holder = Port->Holder();
      SetDlgItemText(1104, holder.isEmpty() ? QStringLiteral("Schnittstelle belegt (anderes Programm)")
                                            : QStringLiteral("Schnittstelle belegt: %1").arg(holder));
      if (status)
        status->setToolTip(QStringLiteral("Die Schnittstelle %1 wird von %2 benutzt.\nDas andere Programm "
                                          "beenden oder eine andere Schnittstelle wählen.")
                               .arg(ComCombo ? ComCombo->toolTip() : PortName,
                                    holder.isEmpty() ? QStringLiteral("einem anderen Programm") : holder));
      return;
    }
    SetDlgItemText(1104, QStringLiteral("Schnittstelle nicht bereit!"));
    if (status) status->setToolTip(QString());
    return;
  }
  if (status) status->setToolTip(QString());
  QString name = PortName;
  if (name.startsWith(kDevicePrefix)) name = name.mid(kDevicePrefix.size());
  SetDlgItemText(1104, name + QStringLiteral(":") + CFormat("Baudrate: %u", Dcb.BaudRate) +
                           CFormat("/ Stopbits: %d", Dcb.StopBits) + CFormat("/ Databits: %d", Dcb.ByteSize) +
                           CFormat("/ Parity: %d", Dcb.Parity));
}

int TMessgeraet::WritePort(const QByteArray& bytes) { return Session.WritePort(bytes); }

void TMessgeraet::ShowByteCounts() { SetDlgItemText(1102, CFormat("%7d/%7d", TxBytes, RxBytes)); }

void TMessgeraet::ShowErrorCounts() { SetDlgItemText(1100, CFormat("%6d / %6d", TxErrors, RxErrors)); }

void TMessgeraet::EvSelChangeCom() {
  ClosePort();
  OpenPort();
  ShowPortStatus();
}

QString TMessgeraet::UserName() {
  QString name = qEnvironmentVariable("USER");
  if (name.isEmpty()) name = qEnvironmentVariable("LOGNAME");
  return name.isEmpty() ? QStringLiteral("BENUTZERNAME") : name;
}

void TMessgeraet::ShowPortDevice() {
  if (!ComCombo) return;
  const int n = ComCombo->currentIndex();
  const QString device = n >= kComPorts ? ComCombo->itemData(n).toString() : SerialPort::DevicePath(n < 0 ? 4 : n + 1);
  ComCombo->setToolTip(device);
}

void TMessgeraet::RefreshPortList() {
  if (!ComCombo) return;
  // The selection stays on its device when the list changes under it.
  const QString selected = ComCombo->currentIndex() >= kComPorts ? ComCombo->currentData().toString() : QString();
  const int selectedCom = ComCombo->currentIndex();
  const QList<SerialPort::MachineDevice> devices = SerialPort::MachineDevices();
  bool same = ComCombo->count() == kComPorts + devices.size();
  for (int i = 0; same && i < devices.size(); ++i)
    same = ComCombo->itemData(kComPorts + i).toString() == devices[i].Path &&
           ComCombo->itemText(kComPorts + i) == devices[i].Label;
  if (!same) {
    QSignalBlocker block(ComCombo);
    while (ComCombo->count() > kComPorts) ComCombo->removeItem(kComPorts);
    for (const SerialPort::MachineDevice& d : devices) ComCombo->addItem(d.Label, d.Path);
    int index = selectedCom < kComPorts ? selectedCom : -1;
    if (!selected.isEmpty()) {
      const int found = ComCombo->findData(selected);
      // A device that is gone: the list shows COM4 again, as at start.
      index = found >= 0 ? found : 3;
    }
    ComCombo->setCurrentIndex(index < 0 ? 3 : index);
  }
  ShowPortDevice();
}
