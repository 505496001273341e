#include "ui/UfrmMain.h"

#include "platform/jpeg/JpegDecoder.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/qt/LayoutLoader.h"
#include "platform/qt/Shell.h"
#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"
#include "ui/Resources.h"
#include "ui/UfrmConvert.h"

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QResizeEvent>

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

namespace korvalen {

TfrmMain* frmMain = nullptr;

namespace {

const QColor LinkColour(0, 0, 128);
const QColor LinkHotColour(255, 0, 0);

QByteArray ReadPictureFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw Exception(Format(res::SCannotLoadPicture, {path.toStdString()}));
  }
  return file.readAll();
}

std::span<const std::uint8_t> BytesOf(const QByteArray& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
          static_cast<std::size_t>(bytes.size())};
}

// JPEG files go through libjpeg's own API rather than Qt's image plug-in,
// straight into the image the pixmap then takes over without a copy or a
// conversion.
QImage ReadJpeg(const QString& path) {
  const QByteArray bytes = ReadPictureFile(path);
  QImage image;
  DecodeJpeg(BytesOf(bytes), path.toStdString(), [&image](int width, int height) {
    image = QImage(width, height, QImage::Format_RGB32);
    return image.isNull()
               ? TPixelRows{}
               : TPixelRows{image.bits(), static_cast<std::size_t>(image.bytesPerLine())};
  });
  if (image.isNull()) {
    throw Exception(Format(res::SCannotLoadPicture, {path.toStdString()}));
  }
  return image;
}

QSize CheckJpegFile(const QString& path) {
  const TJpegSize size = CheckJpeg(BytesOf(ReadPictureFile(path)), path.toStdString());
  return {size.Width, size.Height};
}

}  // namespace

void RegisterWelcomeWindowClasses() {
  static const bool registered = [] {
    RegisterJustOne();
    RegisterWinXP();
    RegisterPictureReader(QStringLiteral("jpg"), ReadJpeg, CheckJpegFile);
    RegisterPictureReader(QStringLiteral("jpeg"), ReadJpeg, CheckJpegFile);
    return true;
  }();
  static_cast<void>(registered);
}

TfrmMain::TfrmMain(QWidget* parent, const QString& layout) : TForm(parent) {
  InitUiResources();
  RegisterWelcomeWindowClasses();
  LoadLayout(*this, layout);
  XJustOne1 = &FindComponent<TXJustOne>(*this, QStringLiteral("XJustOne1"));
  Image1 = &FindComponent<TImage>(*this, QStringLiteral("Image1"));
  Label1 = &FindComponent<TLabel>(*this, QStringLiteral("Label1"));
  Button1 = &FindComponent<TButton>(*this, QStringLiteral("Button1"));
  WinXP1 = &FindComponent<TWinXP>(*this, QStringLiteral("WinXP1"));
  Label2 = &FindComponent<TLabel>(*this, QStringLiteral("Label2"));
  Label3 = &FindComponent<TLabel>(*this, QStringLiteral("Label3"));
  Label4 = &FindComponent<TLabel>(*this, QStringLiteral("Label4"));
  Label5 = &FindComponent<TLabel>(*this, QStringLiteral("Label5"));
  Label6 = &FindComponent<TLabel>(*this, QStringLiteral("Label6"));
  Label7 = &FindComponent<TLabel>(*this, QStringLiteral("Label7"));
  Label8 = &FindComponent<TLabel>(*this, QStringLiteral("Label8"));
  Image1->setGeometry(rect());

  ConnectEvent(Label1, &TLabel::Click, this, &TfrmMain::Label1Click);
  ConnectEvent(Label1, &TLabel::MouseEnter, this, &TfrmMain::Label1MouseEnter);
  ConnectEvent(Label1, &TLabel::MouseLeave, this, &TfrmMain::Label1MouseLeave);
  ConnectEvent(Button1, &QPushButton::clicked, this, &TfrmMain::Button1Click);
}

TfrmMain::~TfrmMain() {
  if (frmMain == this) {
    frmMain = nullptr;
  }
}

void TfrmMain::Label1Click(QObject* /*Sender*/) {
  ShellOpen(Label1->Caption());
}

void TfrmMain::Label1MouseEnter(QObject* /*Sender*/) {
  Label1->SetFontColor(LinkHotColour);
}

void TfrmMain::Label1MouseLeave(QObject* /*Sender*/) {
  Label1->SetFontColor(LinkColour);
}

void TfrmMain::Button1Click(QObject* /*Sender*/) {
  // At most one conversion window: a second press queued before this
  // window hid, or one that comes once it has, opens nothing.
  if (frmConvert != nullptr || !isVisible()) {
    return;
  }
  frmConvert = new TfrmConvert(nullptr);
  frmConvert->show();
  frmConvert->raise();
  frmConvert->activateWindow();
  hide();
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
  TForm::resizeEvent(event);
  if (Image1 != nullptr) {
    Image1->setGeometry(rect());
  }
}

}  // namespace korvalen
