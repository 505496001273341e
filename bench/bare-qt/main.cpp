// The baseline of bench/guard-startup.sh: the least a Qt Widgets program
// does to build a window of the welcome window's outer size on the X
// display and end without showing it, as a later instance of the program
// does.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window;
  window.resize(550, 527);
  // A native window on the display, as the program's own windows are.
  static_cast<void>(window.winId());
  return 0;
}
