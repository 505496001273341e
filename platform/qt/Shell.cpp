#include "platform/qt/Shell.h"

#include <QDesktopServices>
#include <QUrl>

#include <utility>

namespace korvalen {
namespace {

void DesktopOpen(const QString& address) {
  // Whether a browser came up is the desktop's business, not the program's.
  static_cast<void>(QDesktopServices::openUrl(QUrl::fromUserInput(address)));
}

TShellOpener& Opener() {
  static TShellOpener opener = DesktopOpen;
  return opener;
}

}  // namespace

void ShellOpen(const QString& address) {
  Opener()(address);
}

TShellOpener SetShellOpener(TShellOpener opener) {
  TShellOpener previous = std::move(Opener());
  Opener() = opener ? std::move(opener) : TShellOpener(DesktopOpen);
  return previous;
}

}  // namespace korvalen
