#include "shell/children.h"

#include "device/TMessgeraet.h"
#include "report/TFormular.h"
#include "records/archivewindow.h"
#include "records/recordlistwindow.h"

ChildWindowMakers ChildWindowMakers::Program() {
  ChildWindowMakers makers;
  makers.MakeDevice = [](int debugMode) {
    auto* device = new TMessgeraet(nullptr, 1000, debugMode);
    device->SetupWindow();
    return static_cast<QWidget*>(device);
  };
  makers.MakeForm = [](QWidget* deviceWindow, ArchiveService& archive) {
    auto* form = new TFormular(qobject_cast<TMessgeraet*>(deviceWindow));
    form->SetArchive(&archive);
    form->SetupWindow();
    // The user's template: a new visit starts with the contractor and the instrument filled.
    form->KeepTemplate();
    return static_cast<QWidget*>(form);
  };
  makers.FormCommand = [](QWidget* form, int commandId) {
    auto* formular = qobject_cast<TFormular*>(form);
    return formular && formular->HandleCommand(commandId);
  };
  makers.FormCanClose = [](QWidget* form) {
    auto* formular = qobject_cast<TFormular*>(form);
    if (formular) formular->SaveTemplate();  // a failure is told; the program still ends
    return !formular || formular->QuerySaveChanges();
  };
  makers.MakeList = [](QWidget* device, QWidget* form, ArchiveService& archive,
                       std::function<void()> showDevice) -> QWidget* {
    auto* list = new RecordListWindow(qobject_cast<TMessgeraet*>(device), qobject_cast<TFormular*>(form), archive);
    list->SetupWindow();
    QObject::connect(list, &RecordListWindow::DeviceWindowWanted, list, [showDevice] {
      if (showDevice) showDevice();
    });
    return list;
  };
  makers.ListCanClose = [](QWidget* list) {
    auto* window = qobject_cast<RecordListWindow*>(list);
    return !window || window->QueryClose();
  };
  makers.DeviceClose = [](QWidget* device) {
    if (auto* window = qobject_cast<TMessgeraet*>(device)) window->CanClose();
  };
  makers.MakeArchive = [](QWidget* form, ArchiveService& archive, std::function<void()> showForm,
                          std::function<void(const Visit::Plan&)> planVisit) -> QWidget* {
    auto* window = new ArchiveWindow(qobject_cast<TFormular*>(form), archive);
    window->SetupWindow();
    QObject::connect(window, &ArchiveWindow::FormWanted, window, [showForm] {
      if (showForm) showForm();
    });
    QObject::connect(window, &ArchiveWindow::VisitPlanned, window, [planVisit](const Visit::Plan& plan) {
      if (planVisit) planVisit(plan);
    });
    return window;
  };
  makers.PlanVisit = [](QWidget* list, const Visit::Plan& plan) {
    if (auto* window = qobject_cast<RecordListWindow*>(list)) window->PlanVisit(plan);
  };
  makers.FormLoad = [](QWidget* form, const QString& path) {
    auto* formular = qobject_cast<TFormular*>(form);
    return formular && formular->LoadRecord(path);
  };
  return makers;
}
