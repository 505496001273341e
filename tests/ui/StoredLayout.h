#pragma once

// A stored window layout read on its own, not through the form loader, so
// that a test compares the loaded form with the layout, never the form with
// itself or with a copy of the layout's numbers.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

#include <gtest/gtest.h>

namespace korvalen::test {

class TStoredLayout {
 public:
  explicit TStoredLayout(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    FLayout = QJsonDocument::fromJson(file.readAll()).object();
  }

  QSize ClientSize() const {
    const QJsonArray size =
        FLayout[QLatin1String("properties")][QLatin1String("clientSize")].toArray();
    return {size.at(0).toInt(), size.at(1).toInt()};
  }

  // A property of the named component; the test fails when there is none.
  QJsonValue Property(const QString& name, const char* property) const {
    for (const QJsonValue component : Components()) {
      if (component[QLatin1String("name")] == name) {
        return component[QLatin1String("properties")][QLatin1String(property)];
      }
    }
    ADD_FAILURE() << "no " << name.toStdString() << " in the stored layout";
    return {};
  }

  QRect Geometry(const QString& name) const { return BoxOf(Property(name, "geometry").toArray()); }

  // The boxes of the components that have one, except pictures.
  QList<QRect> ControlBoxes() const {
    QList<QRect> boxes;
    for (const QJsonValue component : Components()) {
      const QJsonValue geometry = component[QLatin1String("properties")][QLatin1String("geometry")];
      if (geometry.isArray() && component[QLatin1String("class")] != QLatin1String("TImage")) {
        boxes << BoxOf(geometry.toArray());
      }
    }
    return boxes;
  }

 private:
  QJsonArray Components() const { return FLayout[QLatin1String("components")].toArray(); }
  static QRect BoxOf(const QJsonArray& box) {
    return {box.at(0).toInt(), box.at(1).toInt(), box.at(2).toInt(), box.at(3).toInt()};
  }

  QJsonObject FLayout;
};

}  // namespace korvalen::test
