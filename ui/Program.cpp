#include "ui/Program.h"

#include "engine/ConvUtils.h"
#include "engine/StdConvs.h"
#include "format/FormatResult.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/runtime/FloatSteps.h"
#include "ui/Resources.h"
#include "ui/UfrmMain.h"

#include <QIcon>

namespace korvalen {
namespace {

// The program icon in every size drawn, so the desktop scales none of them.
QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/korvalen-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace

TProgram::TRuntimeStart::TRuntimeStart() {
  fpu::InitEnvironment();
  ReadNumberSeparators();
}

TProgram::TProgram(int& argc, char** argv) : FApplication(argc, argv) {
  InitUiResources();
  QApplication::setWindowIcon(ProgramIcon());
}

TProgram::~TProgram() = default;

int TProgram::Run(const QString& layout) noexcept {
  try {
    TConvRegistryScope registry;
    TStandardUnitsScope standardUnits;
    // The first form created: the main window, which Run shows and, once the
    // loop ends, destroys before the units and the registry go.
    frmMain =
        new TfrmMain(nullptr, layout.isEmpty() ? QLatin1String(TfrmMain::StoredLayout) : layout);
    return FApplication.Run();
  } catch (...) {
    ReportCurrentException();
    return 1;
  }
}

int RunProgram(int& argc, char** argv) {
  TProgram program(argc, argv);
  return program.Run();
}

}  // namespace korvalen
