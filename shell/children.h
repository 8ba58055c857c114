#pragma once
// How the shell makes its two child windows. The program uses the device
// window and the report form; tests may hand in their own makers.
#include <QWidget>
#include <functional>

class ArchiveService;
namespace Visit {
struct Plan;
}

struct ChildWindowMakers {
  // The device window "Messgerät" (template 1000) with the debug mode.
  std::function<QWidget*(int debugMode)> MakeDevice;
  // The report form, reading from the device window and storing its tests in
  // the program's archive.
  std::function<QWidget*(QWidget* deviceWindow, ArchiveService& archive)> MakeForm;
  // Offers a form command (save, load, print, preview, page set-up) to the form.
  std::function<bool(QWidget* form, int commandId)> FormCommand;
  // Asked before the program ends: false keeps it open (unsaved report kept).
  std::function<bool(QWidget* form)> FormCanClose;
  // The record list "Prüfungen" of the device window's loads, with the form as
  // the template of its reports; `showDevice` brings the device window forward.
  std::function<QWidget*(QWidget* device, QWidget* form, ArchiveService& archive, std::function<void()> showDevice)>
      MakeList;
  // Asked before the program ends: false keeps it open (typed list data kept).
  std::function<bool(QWidget* list)> ListCanClose;
  // The device window's own close query when the program ends (it closes the port).
  std::function<void(QWidget* device)> DeviceClose;
  // The archive window "Archiv"; `showForm` brings the form forward,
  // `planVisit` takes the plan of "Besuch vorbereiten".
  std::function<QWidget*(QWidget* form, ArchiveService& archive, std::function<void()> showForm,
                         std::function<void(const Visit::Plan&)> planVisit)>
      MakeArchive;
  // Fills the record list with a visit's plan.
  std::function<void(QWidget* list, const Visit::Plan& plan)> PlanVisit;
  // Loads a data record file into the form (it says itself why it cannot).
  std::function<bool(QWidget* form, const QString& path)> FormLoad;

  // The program's own windows: TMessgeraet and TFormular.
  static ChildWindowMakers Program();
};
