#include "platform/qt/Polished.h"

#include <QEvent>
#include <QObject>

#include <utility>
#include <vector>

namespace korvalen {
namespace {

// Holds a control's waiting work; a child of the control, so it goes with
// it, and watching it for the polish.
class TPolishWatch final : public QObject {
  Q_OBJECT

 public:
  explicit TPolishWatch(QWidget& control) : QObject(&control) { control.installEventFilter(this); }

  // Whether the polish has come: later work runs at once.
  bool Done() const noexcept { return FDone; }
  void Add(std::function<void()> work) { FWork.push_back(std::move(work)); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == parent() && event->type() == QEvent::Polish) {
      watched->removeEventFilter(this);
      FDone = true;
      const std::vector<std::function<void()>> work = std::move(FWork);
      FWork.clear();
      for (const auto& step : work) {
        step();
      }
      deleteLater();
    }
    return false;
  }

 private:
  std::vector<std::function<void()>> FWork;
  bool FDone = false;
};

}  // namespace

void WhenPolished(QWidget& control, std::function<void()> work) {
  // Qt marks a control polished only after the watch has seen the polish
  // event, so the watch is asked first.
  auto* watch = control.findChild<TPolishWatch*>(QString(), Qt::FindDirectChildrenOnly);
  if (watch != nullptr ? watch->Done() : control.testAttribute(Qt::WA_WState_Polished)) {
    work();
    return;
  }
  if (watch == nullptr) {
    watch = new TPolishWatch(control);
  }
  watch->Add(std::move(work));
}

}  // namespace korvalen

#include "Polished.moc"
