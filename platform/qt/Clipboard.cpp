#include "platform/qt/Clipboard.h"

#include "platform/qt/Application.h"
#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <memory>

namespace korvalen {
namespace {

[[noreturn]] void CannotOpenClipboard() {
  throw Exception(std::string(res::SCannotOpenClipboard));
}

}  // namespace

void TQtClipboard::SetAsText(const QString& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) {
    CannotOpenClipboard();
  }
  // A new mime data object holding only the text, so no earlier format
  // survives the write.
  auto data = std::make_unique<QMimeData>();
  data->setText(text);
  clipboard->setMimeData(data.release(), QClipboard::Clipboard);
  // Ownership alone proves nothing (offscreen never reports it), so the
  // write counts only if the text reads back.
  const QMimeData* stored = clipboard->mimeData(QClipboard::Clipboard);
  if (stored == nullptr || stored->text() != text) {
    CannotOpenClipboard();
  }
}

QString TQtClipboard::AsText() const {
  QClipboard* clipboard = QGuiApplication::clipboard();
  return clipboard != nullptr ? clipboard->text(QClipboard::Clipboard) : QString();
}

IClipboard& Clipboard() {
  TApplication* application = Application();
  if (application == nullptr) {
    CannotOpenClipboard();
  }
  return application->Clipboard();
}

}  // namespace korvalen
