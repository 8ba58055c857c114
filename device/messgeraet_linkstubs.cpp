// TEMPORARY: weak stand-ins for the serial, protocol, value and record facets
// so this branch links on its own. The real definitions in the link facets
// override them; this file goes away when those are merged.
#include <QListWidget>

#include "device/TMessgeraet.h"

__attribute__((weak)) void TMessgeraet::EvTimer(unsigned) {}
__attribute__((weak)) void TMessgeraet::OpenPort() {}
__attribute__((weak)) void TMessgeraet::ClosePort() {}
__attribute__((weak)) void TMessgeraet::ShowPortStatus() {}
__attribute__((weak)) void TMessgeraet::EvSelChangeCom() {
  ClosePort();
  OpenPort();
  ShowPortStatus();
}
__attribute__((weak)) void TMessgeraet::ButtonClicked(int) {}
__attribute__((weak)) void TMessgeraet::LogLine(const QString& text) {
  LogList->addItem(text);
  LogList->scrollToBottom();
}
