#include "ui/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void RegisterResources() {
  Q_INIT_RESOURCE(resources);
}

namespace korvalen {

void InitUiResources() {
  static const bool registered = (RegisterResources(), true);
  static_cast<void>(registered);
}

}  // namespace korvalen
