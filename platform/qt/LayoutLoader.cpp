#include "platform/qt/LayoutLoader.h"

#include "platform/qt/Controls.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/qt/Fonts.h"
#include "platform/qt/Polished.h"
#include "platform/runtime/ResourceStrings.h"

#include <QColor>
#include <QCursor>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

namespace korvalen {
namespace {

QHash<QString, TComponentFactory> StandardClasses() {
  QHash<QString, TComponentFactory> classes;
  classes.insert(QStringLiteral("TLabel"),
                 [](TForm& owner) -> QObject* { return new TLabel(&owner); });
  classes.insert(QStringLiteral("TImage"),
                 [](TForm& owner) -> QObject* { return new TImage(&owner); });
  classes.insert(QStringLiteral("TComboBox"),
                 [](TForm& owner) -> QObject* { return new TComboBox(&owner); });
  classes.insert(QStringLiteral("TListBox"),
                 [](TForm& owner) -> QObject* { return new TListBox(&owner); });
  classes.insert(QStringLiteral("TEdit"),
                 [](TForm& owner) -> QObject* { return new TEdit(&owner); });
  classes.insert(QStringLiteral("TButton"),
                 [](TForm& owner) -> QObject* { return new TButton(&owner); });
  classes.insert(QStringLiteral("TBitBtn"),
                 [](TForm& owner) -> QObject* { return new TBitBtn(&owner); });
  return classes;
}

QHash<QString, TComponentFactory>& Classes() {
  static QHash<QString, TComponentFactory> classes = StandardClasses();
  return classes;
}

std::string Str(const QString& text) {
  return text.toStdString();
}

// Reads one layout file, knowing which file and which entry it is at, so
// every error names both.
class TLayoutReader {
 public:
  TLayoutReader(TForm& form, QString path) : FForm(form), FPath(std::move(path)) {}

  void Read() {
    const QJsonObject root = Parse();
    const QString formEntry = QStringLiteral("form");
    CheckKeys(root, {"class", "name", "properties", "components"}, formEntry);
    const QString className = StringOf(root, "class", formEntry);
    if (className != QLatin1String(UnqualifiedName(*FForm.metaObject()))) {
      Fail(Format(res::SLayoutWrongForm,
                  {Str(FPath), Str(className), UnqualifiedName(*FForm.metaObject())}));
    }
    FForm.setObjectName(StringOf(root, "name", formEntry));
    const QJsonObject formProperties = ObjectOf(root, "properties", formEntry);
    FScale = ScaleOf(formProperties);
    WriteProperties(FForm, formProperties, Entry(FForm));

    const QJsonValue components = root.value(QLatin1String("components"));
    if (!components.isUndefined() && !components.isArray()) {
      Malformed(formEntry + QLatin1String(": \"components\" must be an array"));
    }
    const QJsonArray list = components.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
      CreateComponent(list.at(i), i);
    }
    ApplyTabOrder();
    // Copied first: a Loaded() may create or destroy components.
    const std::vector<QObject*> created = FForm.Components();
    for (QObject* component : created) {
      if (auto* loaded = qobject_cast<TComponent*>(component)) {
        loaded->Loaded();
      }
    }
    FForm.EndLoading();
  }

 private:
  static std::string UnqualifiedName(const QMetaObject& meta) {
    const std::string name = meta.className();
    const std::size_t colon = name.rfind(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
  }

  [[noreturn]] static void Fail(std::string message) { throw Exception(std::move(message)); }

  [[noreturn]] void Malformed(const QString& detail) const {
    Fail(Format(res::SLayoutMalformed, {Str(FPath), Str(detail)}));
  }

  static QString Entry(const QObject& object) {
    return object.objectName() + QLatin1String(" (") +
           QString::fromStdString(UnqualifiedName(*object.metaObject())) + QLatin1Char(')');
  }

  QJsonObject Parse() const {
    QFile file(FPath);
    if (!file.open(QIODevice::ReadOnly)) {
      Fail(Format(res::SLayoutUnreadable, {Str(FPath)}));
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError) {
      Malformed(error.errorString() + QLatin1String(" at offset ") + QString::number(error.offset));
    }
    if (!document.isObject()) {
      Malformed(QStringLiteral("the document is not an object"));
    }
    return document.object();
  }

  void CheckKeys(const QJsonObject& object, std::initializer_list<const char*> allowed,
                 const QString& entry) const {
    for (auto key = object.begin(); key != object.end(); ++key) {
      const bool known = std::any_of(allowed.begin(), allowed.end(), [&](const char* name) {
        return key.key() == QLatin1String(name);
      });
      if (!known) {
        Malformed(entry + QLatin1String(": unexpected key \"") + key.key() + QLatin1Char('"'));
      }
    }
  }

  QString StringOf(const QJsonObject& object, const char* key, const QString& entry) const {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString()) {
      Malformed(entry + QLatin1String(": \"") + QLatin1String(key) +
                QLatin1String("\" must be a string"));
    }
    return value.toString();
  }

  QJsonObject ObjectOf(const QJsonObject& object, const char* key, const QString& entry) const {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined()) {
      return {};
    }
    if (!value.isObject()) {
      Malformed(entry + QLatin1String(": \"") + QLatin1String(key) +
                QLatin1String("\" must be an object"));
    }
    return value.toObject();
  }

  double ScaleOf(const QJsonObject& formProperties) const {
    const int storedHeight = formProperties.value(QLatin1String("textHeight")).toInt(0);
    const QJsonObject font = formProperties.value(QLatin1String("font")).toObject();
    const QJsonValue family = font.value(QLatin1String("family"));
    const QJsonValue height = font.value(QLatin1String("height"));
    if (storedHeight <= 0 || !family.isString() || !IsInteger(height) || height.toInt() <= 0) {
      return 1.0;
    }
    return LayoutScale(storedHeight,
                       SystemTextHeight(family.toString(), height.toInt(), storedHeight));
  }

  void CreateComponent(const QJsonValue& value, qsizetype index) {
    const QString position = QStringLiteral("component %1").arg(index + 1);
    if (!value.isObject()) {
      Malformed(position + QLatin1String(" is not an object"));
    }
    const QJsonObject entry = value.toObject();
    CheckKeys(entry, {"class", "name", "properties"}, position);
    const QString className = StringOf(entry, "class", position);
    const QString name = StringOf(entry, "name", position);
    const QString described = name + QLatin1String(" (") + className + QLatin1Char(')');
    const auto factory = Classes().constFind(className);
    if (factory == Classes().constEnd()) {
      Fail(Format(res::SLayoutUnknownClass, {Str(FPath), Str(name), Str(className)}));
    }
    QObject* component = (*factory)(FForm);
    // The form owns what it lists, as its QObject parent, whatever parent
    // the factory gave.
    if (component->parent() != &FForm) {
      if (auto* widget = qobject_cast<QWidget*>(component)) {
        widget->setParent(&FForm);
      } else {
        component->setParent(&FForm);
      }
    }
    const std::vector<QObject*>& listed = FForm.Components();
    if (std::find(listed.begin(), listed.end(), component) == listed.end()) {
      FForm.InsertComponent(component);
    }
    component->setObjectName(name);
    WriteProperties(*component, ObjectOf(entry, "properties", described), described);
  }

  void WriteProperties(QObject& target, const QJsonObject& properties, const QString& entry) {
    auto* widget = qobject_cast<QWidget*>(&target);
    for (auto key = properties.begin(); key != properties.end(); ++key) {
      const bool isTabOrder =
          widget != nullptr && &target != &FForm && key.key() == QLatin1String("tabOrder");
      const QMetaObject& meta = *target.metaObject();
      const int index = meta.indexOfProperty(key.key().toLatin1().constData());
      if (!isTabOrder && (index < 0 || !meta.property(index).isWritable())) {
        Fail(Format(res::SLayoutUnknownProperty, {Str(FPath), Str(entry), Str(key.key())}));
      }
    }
    // Written in the order the class declares them, base classes first, so a
    // setter may count on those declared before it.
    const QMetaObject& meta = *target.metaObject();
    for (int i = 0; i < meta.propertyCount(); ++i) {
      const QMetaProperty property = meta.property(i);
      const QJsonValue value = properties.value(QLatin1String(property.name()));
      if (value.isUndefined()) {
        continue;
      }
      const std::optional<QVariant> converted = Convert(property, value);
      bool written = false;
      if (converted && widget != nullptr && IsAccessibleText(property)) {
        WhenPolished(*widget, [widget, property, text = *converted] {
          static_cast<void>(property.write(widget, text));
        });
        written = true;
      } else if (converted) {
        TPropertyWriteScope write;
        written = property.write(&target, *converted);
        write.RaiseHeld();
      }
      if (!written) {
        Fail(Format(res::SLayoutBadValue,
                    {Str(FPath), Str(entry), property.name(), ExpectedKind(property)}));
      }
    }
    if (widget != nullptr && properties.contains(QLatin1String("tabOrder"))) {
      const QJsonValue order = properties.value(QLatin1String("tabOrder"));
      if (!IsInteger(order)) {
        Fail(Format(res::SLayoutBadValue, {Str(FPath), Str(entry), "tabOrder", "integer"}));
      }
      FTabOrder.emplace_back(order.toInt(), widget);
    }
  }

  // A control's accessible name and description, which Qt reports to the
  // accessibility layer at once: written when the control is polished.
  static bool IsAccessibleText(const QMetaProperty& property) {
    return property.enclosingMetaObject() == &QWidget::staticMetaObject &&
           (qstrcmp(property.name(), "accessibleName") == 0 ||
            qstrcmp(property.name(), "accessibleDescription") == 0);
  }

  void ApplyTabOrder() {
    std::stable_sort(FTabOrder.begin(), FTabOrder.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < FTabOrder.size(); ++i) {
      QWidget::setTabOrder(FTabOrder[i - 1].second, FTabOrder[i].second);
    }
  }

  static bool IsInteger(const QJsonValue& value) {
    return value.isDouble() && value.toDouble() == std::floor(value.toDouble()) &&
           std::abs(value.toDouble()) < 1e9;
  }

  int Scaled(int value) const { return static_cast<int>(std::lround(value * FScale)); }

  std::optional<std::vector<int>> Integers(const QJsonValue& value, qsizetype count) const {
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != count) {
      return std::nullopt;
    }
    std::vector<int> numbers;
    for (const QJsonValue item : array) {
      if (!IsInteger(item)) {
        return std::nullopt;
      }
      numbers.push_back(item.toInt());
    }
    return numbers;
  }

  static std::optional<QFont> FontOf(const QJsonValue& value) {
    const QJsonObject font = value.toObject();
    const QJsonValue family = font.value(QLatin1String("family"));
    const QJsonValue height = font.value(QLatin1String("height"));
    if (!value.isObject() || !family.isString() || !IsInteger(height) || height.toInt() <= 0) {
      return std::nullopt;
    }
    for (auto key = font.begin(); key != font.end(); ++key) {
      static const QStringList known = {"family", "height", "bold", "italic", "underline"};
      if (!known.contains(key.key())) {
        return std::nullopt;
      }
    }
    QFont result = LayoutFont(family.toString(), height.toInt());
    result.setBold(font.value(QLatin1String("bold")).toBool(false));
    result.setItalic(font.value(QLatin1String("italic")).toBool(false));
    result.setUnderline(font.value(QLatin1String("underline")).toBool(false));
    return result;
  }

  static std::optional<int> EnumValue(const QMetaEnum& enumerator, const QJsonValue& value) {
    if (enumerator.isFlag()) {
      if (!value.isArray()) {
        return std::nullopt;
      }
      int flags = 0;
      for (const QJsonValue item : value.toArray()) {
        bool found = false;
        const int flag = enumerator.keyToValue(item.toString().toLatin1().constData(), &found);
        if (!item.isString() || !found) {
          return std::nullopt;
        }
        flags |= flag;
      }
      return flags;
    }
    bool found = false;
    const int number = enumerator.keyToValue(value.toString().toLatin1().constData(), &found);
    if (!value.isString() || !found) {
      return std::nullopt;
    }
    return number;
  }

  std::optional<QVariant> Convert(const QMetaProperty& property, const QJsonValue& value) const {
    if (property.isEnumType()) {
      const std::optional<int> number = EnumValue(property.enumerator(), value);
      if (!number) {
        return std::nullopt;
      }
      QVariant converted(*number);
      if (!converted.convert(property.metaType())) {
        return std::nullopt;
      }
      return converted;
    }
    switch (property.metaType().id()) {
      case QMetaType::Bool:
        return value.isBool() ? std::optional<QVariant>(value.toBool()) : std::nullopt;
      case QMetaType::Int:
        return IsInteger(value) ? std::optional<QVariant>(value.toInt()) : std::nullopt;
      case QMetaType::Double:
        return value.isDouble() ? std::optional<QVariant>(value.toDouble()) : std::nullopt;
      case QMetaType::QString:
        return value.isString() ? std::optional<QVariant>(value.toString()) : std::nullopt;
      case QMetaType::QStringList: {
        if (!value.isArray()) {
          return std::nullopt;
        }
        QStringList items;
        for (const QJsonValue item : value.toArray()) {
          if (!item.isString()) {
            return std::nullopt;
          }
          items << item.toString();
        }
        return QVariant(items);
      }
      case QMetaType::QRect: {
        const auto n = Integers(value, 4);
        if (!n) {
          return std::nullopt;
        }
        return QVariant(QRect(Scaled((*n)[0]), Scaled((*n)[1]), Scaled((*n)[2]), Scaled((*n)[3])));
      }
      case QMetaType::QSize: {
        const auto n = Integers(value, 2);
        return n ? std::optional<QVariant>(QSize(Scaled((*n)[0]), Scaled((*n)[1]))) : std::nullopt;
      }
      case QMetaType::QPoint: {
        const auto n = Integers(value, 2);
        return n ? std::optional<QVariant>(QPoint(Scaled((*n)[0]), Scaled((*n)[1]))) : std::nullopt;
      }
      case QMetaType::QColor: {
        if (value.isString()) {
          const QColor color = QColor::fromString(value.toString());
          return color.isValid() ? std::optional<QVariant>(color) : std::nullopt;
        }
        const auto n = Integers(value, 3);
        if (!n || std::any_of(n->begin(), n->end(), [](int c) { return c < 0 || c > 255; })) {
          return std::nullopt;
        }
        return QVariant(QColor((*n)[0], (*n)[1], (*n)[2]));
      }
      case QMetaType::QFont: {
        const std::optional<QFont> font = FontOf(value);
        return font ? std::optional<QVariant>(*font) : std::nullopt;
      }
      case QMetaType::QCursor: {
        const QMetaEnum shapes = QMetaEnum::fromType<Qt::CursorShape>();
        bool found = false;
        const int shape = shapes.keyToValue(value.toString().toLatin1().constData(), &found);
        if (!value.isString() || !found) {
          return std::nullopt;
        }
        return QVariant(QCursor(static_cast<Qt::CursorShape>(shape)));
      }
      default:
        return std::nullopt;
    }
  }

  static std::string ExpectedKind(const QMetaProperty& property) {
    if (property.isFlagType()) {
      return "array of names of " + std::string(property.enumerator().name());
    }
    if (property.isEnumType()) {
      return "name of " + std::string(property.enumerator().name());
    }
    switch (property.metaType().id()) {
      case QMetaType::QRect:
        return "[left, top, width, height]";
      case QMetaType::QSize:
        return "[width, height]";
      case QMetaType::QPoint:
        return "[x, y]";
      case QMetaType::QColor:
        return "[red, green, blue]";
      case QMetaType::QFont:
        return "{family, height}";
      default:
        return property.typeName();
    }
  }

  TForm& FForm;
  QString FPath;
  double FScale = 1.0;
  std::vector<std::pair<int, QWidget*>> FTabOrder;
};

}  // namespace

void RegisterClass(const QString& className, TComponentFactory factory) {
  Classes()[className] = std::move(factory);
}

double SystemTextHeight(const QString& family, int fontHeight, int storedTextHeight) {
  // At the resolution the layout was drawn for, the two fonts are one: no
  // need to match and load a font just to divide its height by itself.
  if (LayoutPixelSize(fontHeight) == fontHeight) {
    return storedTextHeight;
  }
  QFont designed = LayoutFont(family, fontHeight);
  designed.setPixelSize(fontHeight);
  const double designedHeight = QFontMetricsF(designed).height();
  const double todayHeight = QFontMetricsF(LayoutFont(family, fontHeight)).height();
  if (designedHeight <= 0.0) {
    return storedTextHeight;
  }
  return storedTextHeight * todayHeight / designedHeight;
}

double LayoutScale(double storedTextHeight, double systemTextHeight) noexcept {
  if (storedTextHeight <= 0.0 || systemTextHeight <= 0.0) {
    return 1.0;
  }
  return systemTextHeight / storedTextHeight;
}

void LoadLayout(TForm& form, const QString& path) {
  TLayoutReader(form, path).Read();
}

QObject& FindComponentObject(const TForm& form, const QString& name) {
  for (QObject* component : form.Components()) {
    if (component->objectName() == name) {
      return *component;
    }
  }
  throw Exception(Format(res::SComponentMissing, {Str(form.objectName()), Str(name)}));
}

}  // namespace korvalen
