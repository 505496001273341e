#pragma once

// Work a control needs only once it is about to be seen. Qt tells its
// accessibility layer of every change to a control's text or accessible
// name, and the first telling connects the program to the session bus;
// sizing a label to its text loads the label's font. A window that is never
// shown (a later instance's, which only hands over to the first) needs
// neither, so such work waits until Qt polishes the control, which it does
// just before the control is first shown.

#include <QWidget>

#include <functional>

namespace korvalen {

// Runs work now if control has been polished, else when it is, after any
// work given to it before. Work must not throw.
void WhenPolished(QWidget& control, std::function<void()> work);

}  // namespace korvalen
