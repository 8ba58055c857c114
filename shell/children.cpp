#include "shell/children.h"

#include <QLabel>
#include <QVBoxLayout>

// Stand-ins until the device window and the report form are merged in.
ChildWindowMakers ChildWindowMakers::Program() {
  ChildWindowMakers makers;
  makers.MakeDevice = [](int) {
    auto* w = new QWidget;
    w->setFixedSize(578, 740);
    return w;
  };
  makers.MakeForm = [](QWidget*) {
    auto* w = new QWidget;
    w->setFixedSize(630, 810);
    return w;
  };
  makers.FormCommand = [](QWidget*, int) { return false; };
  return makers;
}
