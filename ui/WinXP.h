#pragma once

// The marker component of the welcome window. It stands for the themed look
// that the program asks of the platform's controls; Qt draws its controls in
// the desktop's style anyway, so all that remains is the constructor's checks.
//
//   new TWinXP(&form);    // fine: the form's one TWinXP
//   new TWinXP(&form);    // throws Exception "Only one instance of TWinXP allowed on form"
//   new TWinXP(nullptr);  // throws Exception "Control parent must be a form!"

#include "platform/qt/Components.h"

namespace korvalen {

class TWinXP : public TComponent {
  Q_OBJECT

 public:
  // Raises Exception when owner is not a form (nullptr included), or when
  // the owner would carry more than one TWinXP. The failed component leaves
  // its owner's list again as it unwinds.
  explicit TWinXP(QObject* owner);
};

// Enters TWinXP into the layout loader's class registry. Calling it again
// does nothing.
void RegisterWinXP();

}  // namespace korvalen
