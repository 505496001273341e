#pragma once

// The desktop's open operation on a document or address: a web address opens
// in the user's default browser (through xdg-open on Linux desktops). The
// result is not examined; callers report nothing of their own.
//
//   ShellOpen(QStringLiteral("http://www.example.com/"));   // the browser shows it

#include <QString>

#include <functional>

namespace korvalen {

using TShellOpener = std::function<void(const QString& address)>;

// Hands address to the current opener; errors of the opener pass through.
void ShellOpen(const QString& address);

// Replaces the opener and returns the previous one; tests put a recorder in
// its place. An empty opener restores the desktop's.
TShellOpener SetShellOpener(TShellOpener opener);

}  // namespace korvalen
