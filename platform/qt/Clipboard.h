#pragma once

// The clipboard as the windows use it: plain text that replaces all of its
// contents. A write that does not take raises Exception "Cannot open
// clipboard", and the clipboard keeps what it had.

#include <QString>

namespace korvalen {

class IClipboard {
 public:
  virtual ~IClipboard() = default;
  // Replaces the clipboard's contents with text, which may be empty.
  virtual void SetAsText(const QString& text) = 0;
  virtual QString AsText() const = 0;
};

// The system clipboard through Qt.
class TQtClipboard final : public IClipboard {
 public:
  void SetAsText(const QString& text) override;
  QString AsText() const override;
};

// The application's clipboard (TApplication::Clipboard()).
IClipboard& Clipboard();

}  // namespace korvalen
