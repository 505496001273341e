#include "ui/WinXP.h"

#include "platform/qt/LayoutLoader.h"
#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"

#include <algorithm>
#include <string>

namespace korvalen {

TWinXP::TWinXP(QObject* owner) : TComponent(owner) {
  const auto* form = qobject_cast<const TForm*>(owner);
  if (form == nullptr) {
    throw Exception(std::string(res::SControlParentMustBeForm));
  }
  // This one is already in the list, so one is the only count allowed.
  const auto& components = form->Components();
  const auto count = std::count_if(components.begin(), components.end(), [](QObject* component) {
    return qobject_cast<TWinXP*>(component) != nullptr;
  });
  if (count > 1) {
    throw Exception(std::string(res::SOnlyOneWinXP));
  }
}

void RegisterWinXP() {
  static const bool registered = (RegisterClass<TWinXP>(QStringLiteral("TWinXP")), true);
  static_cast<void>(registered);
}

}  // namespace korvalen
