#pragma once

// Work a control needs only once it is about to be seen. Qt tells its
// accessibility layer of every change to a control's text or accessible
// name, and the first telling connects the program to the session bus;
// sizing a label to its text loads the label's font. A window that is never
// shown needs neither, so such work waits until Qt polishes the control:
// just before it is first shown, or else once the event loop runs. A later
// instance, which only hands over to the first and ends before its loop
// ever runs, so does none of it.

#include <QWidget>

#include <functional>

namespace korvalen {

// Runs work now if control has been polished, else when it is, after any
// work given to it before. Work must not throw.
void WhenPolished(QWidget& control, std::function<void()> work);

}  // namespace korvalen
