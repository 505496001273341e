#include "ui/UfrmConvert.h"

#include "engine/ConvUtils.h"
#include "format/FormatResult.h"
#include "platform/qt/Application.h"
#include "platform/qt/Clipboard.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/qt/LayoutLoader.h"
#include "ui/Resources.h"

#include <string>

namespace korvalen {

TfrmConvert* frmConvert = nullptr;

namespace {

// Descriptions are 8-bit texts in the engine and Unicode on screen.
std::string DescriptionOf(const QString& text) {
  return text.toStdString();
}

}  // namespace

TfrmConvert::TfrmConvert(QWidget* parent) : TForm(parent) {
  InitUiResources();
  LoadLayout(*this, QStringLiteral(":/layouts/frmConvert.json"));
  cboFamilies = &FindComponent<TComboBox>(*this, QStringLiteral("cboFamilies"));
  Label1 = &FindComponent<TLabel>(*this, QStringLiteral("Label1"));
  list1 = &FindComponent<TListBox>(*this, QStringLiteral("list1"));
  list2 = &FindComponent<TListBox>(*this, QStringLiteral("list2"));
  eCalc = &FindComponent<TEdit>(*this, QStringLiteral("eCalc"));
  Image2 = &FindComponent<TImage>(*this, QStringLiteral("Image2"));
  BitBtn1 = &FindComponent<TBitBtn>(*this, QStringLiteral("BitBtn1"));

  ConnectEvent(cboFamilies, &QComboBox::activated, this, &TfrmConvert::cboFamiliesSelect);
  ConnectEvent(list1, &TListBox::Click, this, &TfrmConvert::list1Click);
  ConnectEvent(list2, &TListBox::Click, this, &TfrmConvert::list2Click);
  ConnectEvent(BitBtn1, &QPushButton::clicked, this, &TfrmConvert::BitBtn1Click);
  SetOnClose([this](QObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); });
}

TfrmConvert::~TfrmConvert() {
  // However the window ends, the program-wide reference never dangles.
  if (frmConvert == this) {
    frmConvert = nullptr;
  }
}

void TfrmConvert::cboFamiliesSelect(QObject* /*Sender*/) {
  if (cboFamilies->ItemIndex() < 0) {
    return;
  }
  TConvFamilyId family = IllegalFamilyId;
  if (!FamilyFromDescription(DescriptionOf(cboFamilies->Text()), family)) {
    return;
  }
  list1->Clear();
  list2->Clear();
  TConvTypeArray types;
  TypesOfFamily(family, types);
  for (const TConvType type : types) {
    list1->AddItem(QString::fromStdString(DescriptionOfType(type)));
  }
  list2->SetItems(list1->Items());
}

void TfrmConvert::list1Click(QObject* /*Sender*/) {
  ShowConversion();
}

void TfrmConvert::list2Click(QObject* /*Sender*/) {
  ShowConversion();
}

void TfrmConvert::ShowConversion() {
  if (list1->ItemIndex() < 0 || list2->ItemIndex() < 0) {
    return;
  }
  // Looked up afresh from the controls at every click. A miss leaves the
  // result as it was rather than converting unset identifiers.
  TConvFamilyId family = IllegalFamilyId;
  TConvType from = IllegalTypeId;
  TConvType to = IllegalTypeId;
  if (!FamilyFromDescription(DescriptionOf(cboFamilies->Text()), family) ||
      !TypeFromDescription(family, DescriptionOf(list1->SelectedText()), from) ||
      !TypeFromDescription(family, DescriptionOf(list2->SelectedText()), to)) {
    return;
  }
  eCalc->setText(QString::fromStdString(FormatResult(ConvertValue(1.0, from, to))));
}

void TfrmConvert::BitBtn1Click(QObject* /*Sender*/) {
  Clipboard().SetAsText(eCalc->text());
}

void TfrmConvert::FormClose(QObject* /*Sender*/, TCloseAction& Action) {
  Action = caFree;
  frmConvert = nullptr;
  TApplication* application = Application();
  TForm* mainForm = application != nullptr ? application->MainForm() : nullptr;
  if (mainForm != nullptr && mainForm != this) {
    mainForm->close();
  }
}

}  // namespace korvalen
