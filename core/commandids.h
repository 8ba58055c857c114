#pragma once
// The ids of the menu and control-bar commands, defined once for the main
// frame that sends them and the windows that answer them.
namespace CommandIds {
enum : int {
  CmSave = 20011,        // "&Datensatz speichern ..."
  CmLoad = 20012,        // "Da&tensatz lesen..."
  CmShowForm = 20013,    // "&Formular"
  CmShowDevice = 20014,  // "&Messgerät"
  CmShowList = 20015,    // "&Prüfungen": the record list of the last load
  CmShowArchive = 20016, // "&Archiv": customers, appliances, tests, due dates
  CmPrint = 20018,       // "D&rucken..."
  CmPreview = 20019,     // "&Druckvorschau.."
  CmPageSetup = 20020,   // "Seiten &Einstellung..."
  CmAbout = 20034,       // "Über &Kelvara ..."
  CmExit = 24310,        // "&Beenden"
  CmEditUndo = 24321,
  CmEditCut = 24322,
  CmEditCopy = 24323,
  CmEditPaste = 24324,
};
}  // namespace CommandIds
