#include "platform/qt/Components.h"

#include "platform/qt/Application.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/runtime/Exceptions.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace korvalen {

TComponentContainer::~TComponentContainer() = default;

void TComponentContainer::InsertComponent(QObject* component) {
  FComponents.push_back(component);
}

void TComponentContainer::RemoveComponent(QObject* component) noexcept {
  auto found = std::find(FComponents.begin(), FComponents.end(), component);
  if (found != FComponents.end()) {
    FComponents.erase(found);
  }
}

void TComponentContainer::DestroyComponents() noexcept {
  while (!FComponents.empty()) {
    QObject* last = FComponents.back();
    FComponents.pop_back();
    delete last;
  }
}

TComponentContainer* ContainerOf(QObject* owner) noexcept {
  return dynamic_cast<TComponentContainer*>(owner);
}

TComponent::TComponent(QObject* owner) : QObject(owner), FOwner(owner) {
  if (TComponentContainer* container = ContainerOf(owner)) {
    container->InsertComponent(this);
  }
}

TComponent::~TComponent() {
  DestroyComponents();
  if (TComponentContainer* container = ContainerOf(FOwner)) {
    container->RemoveComponent(this);
  }
}

TForm::TForm(QWidget* parent) : QWidget(parent) {
  if (parent == nullptr) {
    if (TApplication* application = Application()) {
      application->RegisterForm(this);
    }
  }
}

TForm::~TForm() {
  // Components go while the form is still whole, so that each can take
  // itself out of the form's list.
  DestroyComponents();
  if (TApplication* application = Application()) {
    application->UnregisterForm(this);
  }
}

void TForm::SetClientSize(QSize size) {
  resize(size);
}

void TForm::SetBorderStyle(TBorderStyle style) {
  FBorderStyle = style;
  ApplyWindowFlags();
}

void TForm::SetBorderIcons(TBorderIcons icons) {
  FBorderIcons = icons;
  ApplyWindowFlags();
}

void TForm::SetColor(const QString& color) {
  QColor background;
  if (color == QLatin1String("clBtnFace")) {
    background = palette().color(QPalette::Button);
  } else if (color == QLatin1String("clWindow")) {
    background = palette().color(QPalette::Base);
  } else {
    background = QColor::fromString(color);
  }
  if (!background.isValid()) {
    throw Exception(("Unknown colour " + color).toStdString());
  }
  FColor = color;
  QPalette changed = palette();
  changed.setColor(QPalette::Window, background);
  setPalette(changed);
  setAutoFillBackground(true);
}

void TForm::ApplyWindowFlags() {
  if (parentWidget() != nullptr) {
    return;
  }
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
  if (FBorderStyle != bsNone) {
    flags |= Qt::WindowTitleHint;
  } else {
    flags |= Qt::FramelessWindowHint;
  }
  if (FBorderIcons.testFlag(biSystemMenu)) {
    // The system menu brings the close button with it, as on the platform
    // the layouts were made for.
    flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (FBorderIcons.testFlag(biMinimize)) {
      flags |= Qt::WindowMinimizeButtonHint;
    }
    if (FBorderIcons.testFlag(biMaximize) && FBorderStyle == bsSizeable) {
      flags |= Qt::WindowMaximizeButtonHint;
    }
  }
  setWindowFlags(flags);
}

void TForm::EndLoading() {
  if (FBorderStyle != bsSizeable) {
    setFixedSize(size());
  }
  if (FVisibleOnCreate) {
    show();
  }
}

void TForm::CentreOnScreen() {
  QScreen* screen = this->screen();
  if (screen == nullptr) {
    screen = QGuiApplication::primaryScreen();
  }
  if (screen == nullptr) {
    return;
  }
  // The frame is not known before the window manager has framed the window,
  // so the client area is centred first, and the whole window once it is
  // shown in its frame (X11; a Wayland compositor places windows itself).
  QRect client(QPoint(0, 0), size());
  client.moveCenter(screen->availableGeometry().center());
  setGeometry(client);
  FCentreFrame = QGuiApplication::platformName() == QLatin1String("xcb");
}

bool TForm::eventFilter(QObject* watched, QEvent* event) {
  QWindow* window = windowHandle();
  if (watched == window && event->type() == QEvent::Expose && window->isExposed()) {
    window->removeEventFilter(this);
    FCentreFrame = false;
    QRect frame = frameGeometry();
    if (frame != geometry() && screen() != nullptr) {
      frame.moveCenter(screen()->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm::setVisible(bool visible) {
  if (visible && !FPlaced && parentWidget() == nullptr) {
    FPlaced = true;
    if (FPosition == poScreenCenter) {
      CentreOnScreen();
    }
  }
  QWidget::setVisible(visible);
  if (visible && FCentreFrame && windowHandle() != nullptr) {
    windowHandle()->installEventFilter(this);
  }
}

void TForm::closeEvent(QCloseEvent* event) {
  TCloseAction action = caHide;
  bool handled = true;
  if (FOnClose) {
    handled = false;
    RunGuarded([&] {
      FOnClose(this, action);
      handled = true;
    });
  }
  if (!handled || action == caNone) {
    event->ignore();
    return;
  }
  event->accept();
  TApplication* application = Application();
  if (application != nullptr && application->MainForm() == this) {
    application->Terminate();
  } else if (action == caFree) {
    // Qt deletes the form once this close completes.
    setAttribute(Qt::WA_DeleteOnClose);
  }
}

}  // namespace korvalen
