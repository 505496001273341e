#pragma once

// The conversion window: the user picks a measure family and two of its
// units and reads how many of the second make one of the first; a button
// copies that figure to the clipboard. Closing the window ends the program.
//
//   frmConvert = new TfrmConvert(nullptr);   // shows itself, centred
//   // "Mass", then "Kilograms" in list1 and "Pounds" in list2: eCalc shows 2.20

#include "platform/qt/Components.h"
#include "platform/qt/Controls.h"

namespace korvalen {

class TfrmConvert : public TForm {
  Q_OBJECT

 public:
  // Loads the stored layout ":/layouts/frmConvert.json" and connects the
  // handlers. The window has no owner and frees itself when closed.
  explicit TfrmConvert(QWidget* parent = nullptr);
  ~TfrmConvert() override;

  // The controls, owned by the form.
  TComboBox* cboFamilies = nullptr;
  TLabel* Label1 = nullptr;
  TListBox* list1 = nullptr;
  TListBox* list2 = nullptr;
  TEdit* eCalc = nullptr;
  TImage* Image2 = nullptr;
  TBitBtn* BitBtn1 = nullptr;

  // Family chosen: fills list1 with the family's unit descriptions in
  // registration order and gives list2 a copy. eCalc keeps its text.
  void cboFamiliesSelect(QObject* Sender);
  // Unit chosen (either list): with a selection in both, eCalc shows the
  // value of one FROM unit in TO units.
  void list2Click(QObject* Sender);
  // The window is freed, frmConvert is cleared, and the main window closes,
  // which ends the program.
  void FormClose(QObject* Sender, TCloseAction& Action);
  // Puts eCalc's text on the clipboard; raises "Cannot open clipboard".
  void BitBtn1Click(QObject* Sender);
  void list1Click(QObject* Sender);

 private:
  void ShowConversion();
};

// The conversion window while it is open; nullptr otherwise.
extern TfrmConvert* frmConvert;

}  // namespace korvalen
