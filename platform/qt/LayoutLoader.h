#pragma once

// Stored layouts: every form is created from a layout file, a JSON document
// embedded in the program as a Qt resource:
//
//   { "class": "TfrmConvert", "name": "frmConvert",
//     "properties": { "caption": "Conversion Utility", "clientSize": [382, 284],
//                     "font": { "family": "MS Sans Serif", "height": 11 },
//                     "textHeight": 13, ... },
//     "components": [
//       { "class": "TLabel", "name": "Label1",
//         "properties": { "geometry": [10, 4, 105, 13], "caption": "Measure Types" } },
//       ... ] }
//
// The components are created in the order listed, through the class
// registry, with the form as owner. The properties of each are Qt
// properties, written through their setters in the order the class declares
// them. Values: a string, number or boolean; an enumerator's name, or an
// array of names for flags; [left, top, width, height] for a rectangle,
// [width, height] for a size, [x, y] for a point; [red, green, blue] or
// "#rrggbb" for a colour; { "family", "height" (pixels at 96 dpi), "bold",
// "italic", "underline" } for a font; a Qt::CursorShape name for a cursor.
// "tabOrder" places a control in the form's tab order.
//
// Rectangles, sizes and points scale by the ratio of the system's text
// height in the form's font to the stored "textHeight" (13 px at 96 dpi).
// Font heights are stored at 96 dpi and follow the screen's resolution; the
// system's text height is the stored one grown as the font's text grows from
// 96 dpi to today's resolution, so a stand-in font of another height does not
// rescale a layout, and at 144 dpi every position grows by about 1.5.
//
// Once every component exists and every property is set, Loaded() runs on
// each TComponent in creation order; then a form stored as visible shows.
// An unknown class, an unknown property, a value of the wrong kind or a
// malformed file raises Exception naming the file and the entry.

#include "platform/qt/Components.h"
#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"

#include <QObject>
#include <QString>

#include <functional>

namespace korvalen {

class TForm;

// Creates a component or control of one class with the form as its owner.
using TComponentFactory = std::function<QObject*(TForm& owner)>;

// Enters a class into the registry; a later entry of the same name replaces
// the earlier one. The standard controls (TLabel, TImage, TComboBox,
// TListBox, TEdit, TButton, TBitBtn) are always there. Register a class
// before the first layout that names it is loaded.
void RegisterClass(const QString& className, TComponentFactory factory);

template <typename T>
void RegisterClass(const QString& className) {
  RegisterClass(className, [](TForm& owner) -> QObject* { return new T(&owner); });
}

// Loads the layout file at path (a resource path such as
// ":/layouts/frmConvert.json") onto form.
void LoadLayout(TForm& form, const QString& path);

// The system's text height for a layout whose text, in a font of family
// and fontHeight pixels, was storedTextHeight pixels high at 96 dpi.
// SystemTextHeight("MS Sans Serif", 11, 13) is 13 at 96 dpi.
double SystemTextHeight(const QString& family, int fontHeight, int storedTextHeight);

// The factor positions and sizes scale by: LayoutScale(13, 16) is 16/13.
double LayoutScale(double storedTextHeight, double systemTextHeight) noexcept;

// The form's component of this name and class; raises Exception naming the
// form when it has none.
QObject& FindComponentObject(const TForm& form, const QString& name);

template <typename T>
T& FindComponent(const TForm& form, const QString& name) {
  QObject& found = FindComponentObject(form, name);
  T* typed = qobject_cast<T*>(&found);
  if (typed == nullptr) {
    throw Exception(Format(
        res::SComponentWrongClass,
        {form.objectName().toStdString(), name.toStdString(), T::staticMetaObject.className()}));
  }
  return *typed;
}

}  // namespace korvalen
