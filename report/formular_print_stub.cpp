// Placeholders until the page rendering and printing units exist: they replace
// this whole file. The screen rendering already does what the verdict and the
// data record file depend on: it shows the OK boxes of the active rows,
// hides the others and forms GesamtOk.
#include "report/TFormular.h"

void TFormular::PaintScreen() {
  SyncOkBoxes();
  ComputeGesamtOk();
}

void TFormular::CmDrucken() {}
void TFormular::CmDruckvorschau() {}
void TFormular::CmSeitenEinstellung() {}
