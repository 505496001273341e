#pragma once

// Bringing the earlier instance forward where another program's windows
// cannot be reached (Wayland): the earlier instance serves the desktop's
// org.freedesktop.Application interface on the session bus and leaves its
// unique bus name in its lock file; a later instance calls Activate there and
// hands over the activation token that lets the compositor focus a window.
// That token is all the earlier instance receives.
//
//   // earlier instance, once the name is claimed:
//   TActivationService service([](const QString& token) { /* show, activate */ });
//   TBusServeResult served = service.Serve();
//   lock.WriteContent(served.UniqueName.toStdString() + "\n");
//   // later instance:
//   QString why = ActivateOverBus([&] { return lock.ReadContent(); }, token, 2s);

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <string>

namespace korvalen {

inline constexpr char kApplicationObjectPath[] = "/com/example/korvalen/converter";
inline constexpr char kApplicationInterface[] = "org.freedesktop.Application";

// Receives the activation token of an Activate call; empty when the caller
// sent none.
using TActivateHandler = std::function<void(const QString& activationToken)>;

struct TBusServeResult {
  // This process's unique name on the session bus (":1.42"), empty on failure.
  QString UniqueName;
  // Why nothing is served; empty on success.
  QString Error;
};

class TActivationService : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

 public:
  explicit TActivationService(TActivateHandler onActivate, QObject* parent = nullptr);
  // Withdraws the object from the bus.
  ~TActivationService() override;

  TActivationService(const TActivationService&) = delete;
  TActivationService& operator=(const TActivationService&) = delete;

  // Connects to the session bus and serves the object at
  // kApplicationObjectPath. Serving twice is an error.
  TBusServeResult Serve();

 public Q_SLOTS:
  // platform_data's "activation-token" (a string) goes to the handler.
  void Activate(const QVariantMap& platformData);
  // Neither is offered: both answer org.freedesktop.DBus.Error.NotSupported.
  void Open(const QStringList& uris, const QVariantMap& platformData);
  void ActivateAction(const QString& actionName, const QVariantList& parameter,
                      const QVariantMap& platformData);

 private:
  TActivateHandler FOnActivate;
  bool FServed = false;
};

// Whether lock-file content names a holder: a unique bus name and a newline.
// Anything else is not written yet, or not by us.
QString UniqueNameFromContent(const std::string& content);

// Calls Activate on the instance whose unique name readContent() gives,
// polling it until it names one or `wait` has passed, then waiting up to
// `wait` for the reply. The token is sent as "activation-token" unless empty.
// Returns why the call failed (no session bus, no name within the wait, an
// error reply), or an empty string once the earlier instance has answered.
QString ActivateOverBus(const std::function<std::string()>& readContent, const QString& token,
                        std::chrono::milliseconds wait);

}  // namespace korvalen
