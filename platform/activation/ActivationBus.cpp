#include "platform/activation/ActivationBus.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QElapsedTimer>

#include <algorithm>
#include <thread>
#include <utility>

namespace korvalen {
namespace {

const QString kNotSupported = QStringLiteral("org.freedesktop.DBus.Error.NotSupported");
const QString kActivationToken = QStringLiteral("activation-token");

// Short enough to add little to a later start, long enough not to spin.
constexpr std::chrono::milliseconds kPollInterval{10};

bool IsUniqueName(const QString& name) {
  return name.size() > 1 && name.front() == QLatin1Char(':') &&
         std::all_of(name.cbegin() + 1, name.cend(), [](QChar c) {
           return c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('_') ||
                  c == QLatin1Char('-');
         });
}

}  // namespace

TActivationService::TActivationService(TActivateHandler onActivate, QObject* parent)
    : QObject(parent), FOnActivate(std::move(onActivate)) {}

TActivationService::~TActivationService() {
  if (FServed) {
    QDBusConnection::sessionBus().unregisterObject(QLatin1String(kApplicationObjectPath));
  }
}

TBusServeResult TActivationService::Serve() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    return {{}, QStringLiteral("no session bus: ") + bus.lastError().message()};
  }
  if (FServed || !bus.registerObject(QLatin1String(kApplicationObjectPath), this,
                                     QDBusConnection::ExportAllSlots)) {
    return {{}, QStringLiteral("%1 is already served").arg(QLatin1String(kApplicationObjectPath))};
  }
  FServed = true;
  return {bus.baseService(), {}};
}

void TActivationService::Activate(const QVariantMap& platformData) {
  // A token of the wrong type is no token; the window is still brought forward.
  const QVariant token = platformData.value(kActivationToken);
  FOnActivate(token.typeId() == QMetaType::QString ? token.toString() : QString());
}

void TActivationService::Open(const QStringList&, const QVariantMap&) {
  sendErrorReply(kNotSupported, QStringLiteral("Opening files is not supported"));
}

void TActivationService::ActivateAction(const QString&, const QVariantList&, const QVariantMap&) {
  sendErrorReply(kNotSupported, QStringLiteral("There are no actions"));
}

QString UniqueNameFromContent(const std::string& content) {
  if (content.empty() || content.back() != '\n') {
    return {};
  }
  const QString name = QString::fromUtf8(content.data(), qsizetype(content.size() - 1));
  return IsUniqueName(name) ? name : QString();
}

QString ActivateOverBus(const std::function<std::string()>& readContent, const QString& token,
                        std::chrono::milliseconds wait) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    return QStringLiteral("no session bus: ") + bus.lastError().message();
  }
  QElapsedTimer waited;
  waited.start();
  QString name;
  while ((name = UniqueNameFromContent(readContent())).isEmpty()) {
    if (waited.elapsed() >= wait.count()) {
      return QStringLiteral("it left no bus name within %1 ms").arg(wait.count());
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  QDBusMessage call = QDBusMessage::createMethodCall(name, QLatin1String(kApplicationObjectPath),
                                                     QLatin1String(kApplicationInterface),
                                                     QStringLiteral("Activate"));
  QVariantMap platformData;
  if (!token.isEmpty()) {
    platformData.insert(kActivationToken, token);
  }
  call << platformData;
  const QDBusMessage reply = bus.call(call, QDBus::Block, static_cast<int>(wait.count()));
  if (reply.type() == QDBusMessage::ErrorMessage) {
    return reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
  }
  return {};
}

}  // namespace korvalen
