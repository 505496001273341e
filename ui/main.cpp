// Korvalen Converter. main reads top to bottom as the start-up order; each
// step that has a shutdown is an object whose destructor performs it, so the
// program ends in the reverse order: the windows first (at the end of Run),
// then the standard units are removed, then the registry is cleared.

#include "engine/ConvUtils.h"
#include "engine/StdConvs.h"
#include "format/FormatResult.h"
#include "platform/qt/Application.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/runtime/FloatSteps.h"
#include "ui/UfrmConvert.h"

int main(int argc, char** argv) {
  using namespace korvalen;

  fpu::InitEnvironment();
  ReadNumberSeparators();
  TApplication application(argc, argv);
  try {
    TConvRegistryScope registry;
    TStandardUnitsScope standardUnits;
    frmConvert = new TfrmConvert(nullptr);
    return application.Run();
  } catch (...) {
    // A program that failed to start must not run half-built.
    ReportCurrentException();
    return 1;
  }
}
