// The baseline of the start-up benchmark: the least a Qt Widgets program
// does to put a window of the welcome window's outer size on the screen,
// with one label and one button in it.

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Bare shown"));
  window.resize(550, 527);
  QLabel label(QStringLiteral("A label"), &window);
  label.move(12, 12);
  QPushButton button(QStringLiteral("Continue"), &window);
  button.setGeometry(452, 458, 75, 25);
  window.show();
  return QApplication::exec();
}
