#include "ui/Program.h"

#include "engine/ConvUtils.h"
#include "engine/StdConvs.h"
#include "format/FormatResult.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/runtime/FloatSteps.h"
#include "ui/Resources.h"
#include "ui/UfrmMain.h"

#include <QEvent>
#include <QFutureWatcher>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QList>
#include <QPixmap>
#include <QWidget>
#include <QtConcurrent/QtConcurrentRun>

namespace korvalen {
namespace {

// The program icon in every size drawn, so the desktop scales none of them;
// 40, 48 and 64 serve screens of 1.25, 1.5 and 2 device pixels per pixel.
// Read by Qt's own PNG reader alone: a reader allowed to detect formats
// loads and asks every image plug-in first, even when told the format.
QList<QImage> ReadProgramIconPictures() {
  QList<QImage> pictures;
  for (const int size : {32, 40, 48, 64, 128, 256}) {
    QImageReader reader(QStringLiteral(":/icons/korvalen-%1.png").arg(size), "png");
    reader.setAutoDetectImageFormat(false);
    pictures.append(reader.read());
  }
  return pictures;
}

// Kept in the reader's format, unpremultiplied ARGB, which is what the X11
// window icon is sent in: nothing converts the pixels there and back.
QIcon IconOf(const QList<QImage>& pictures) {
  QIcon icon;
  for (const QImage& picture : pictures) {
    icon.addPixmap(QPixmap::fromImage(picture, Qt::NoFormatConversion));
  }
  return icon;
}

// Gives the application its icon as its first window gets ready, so every
// window carries it. A later instance shows no window and so never decodes
// the pictures, nor hands them to the never-shown title window. The
// pictures are read on a worker from the moment the first window is
// polished, alongside the rest of getting it ready (its fonts, its native
// window); taken as it shows when they are read by then, else as soon as
// they are.
class TIconOnFirstShow final : public QObject {
 public:
  explicit TIconOnFirstShow(QApplication& application) : QObject(&application) {
    application.installEventFilter(this);
    connect(&FPictures, &QFutureWatcher<QList<QImage>>::finished, this,
            &TIconOnFirstShow::GiveIcon);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool window = watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow();
    if (window && event->type() == QEvent::Polish && !FStarted) {
      FStarted = true;
      FPictures.setFuture(QtConcurrent::run(ReadProgramIconPictures));
    } else if (window && event->type() == QEvent::Show) {
      QCoreApplication::instance()->removeEventFilter(this);
      GiveIcon();
    }
    return false;
  }

 private:
  void GiveIcon() {
    if (FStarted && !FGiven && FPictures.isFinished()) {
      FGiven = true;
      QApplication::setWindowIcon(IconOf(FPictures.result()));
    }
  }

  // Not waited for when the program ends first: the worker ends on its own.
  QFutureWatcher<QList<QImage>> FPictures;
  bool FStarted = false;
  bool FGiven = false;
};

}  // namespace

TProgram::TRuntimeStart::TRuntimeStart() {
  fpu::InitEnvironment();
  ReadNumberSeparators();
}

TProgram::TProgram(int& argc, char** argv) : FApplication(argc, argv) {
  InitUiResources();
  new TIconOnFirstShow(FApplication);
  // Results follow the user's locale as it changes, from the next one shown.
  QObject::connect(&FApplication, &TApplication::LocaleChanged, &FApplication,
                   [] { RunGuarded(ReadNumberSeparators); });
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
