#include "ui/Program.h"

#include "engine/ConvUtils.h"
#include "engine/StdConvs.h"
#include "format/FormatResult.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/runtime/FloatSteps.h"
#include "ui/Resources.h"
#include "ui/UfrmMain.h"

#include <QEvent>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QWidget>

namespace korvalen {
namespace {

// The program icon in every size drawn, so the desktop scales none of them;
// 40, 48 and 64 serve screens of 1.25, 1.5 and 2 device pixels per pixel.
// Read by Qt's own PNG reader alone: a reader allowed to detect formats
// loads and asks every image plug-in first, even when told the format.
QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {32, 40, 48, 64, 128, 256}) {
    QImageReader reader(QStringLiteral(":/icons/korvalen-%1.png").arg(size), "png");
    reader.setAutoDetectImageFormat(false);
    icon.addPixmap(QPixmap::fromImage(reader.read()));
  }
  return icon;
}

// Gives the application its icon as its first window is about to show,
// before the window is mapped, so every window still carries it. A later
// instance shows no window and so never decodes the pictures, nor hands
// them to the never-shown title window.
class TIconOnFirstShow final : public QObject {
 public:
  explicit TIconOnFirstShow(QApplication& application) : QObject(&application) {
    application.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow()) {
      QCoreApplication::instance()->removeEventFilter(this);
      QApplication::setWindowIcon(ProgramIcon());
    }
    return false;
  }
};

}  // namespace

TProgram::TRuntimeStart::TRuntimeStart() {
  fpu::InitEnvironment();
  ReadNumberSeparators();
}

TProgram::TProgram(int& argc, char** argv) : FApplication(argc, argv) {
  InitUiResources();
  new TIconOnFirstShow(FApplication);
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
    ShowQueuedReports();
    return 1;
  }
}

int RunProgram(int& argc, char** argv) {
  TProgram program(argc, argv);
  return program.Run();
}

}  // namespace korvalen
