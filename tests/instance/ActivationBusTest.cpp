#include "platform/activation/ActivationBus.h"
#include "tests/support/Session.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

// Run with "--serve", this binary is the earlier instance: it serves the
// activation object and prints its unique name, then one line per Activate.
namespace {

int Serve(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  korvalen::TActivationService service([](const QString& token) {
    std::printf("activate [%s]\n", qUtf8Printable(token));
    std::fflush(stdout);
  });
  const korvalen::TBusServeResult served = service.Serve();
  std::printf("%s\n",
              qUtf8Printable(served.UniqueName.isEmpty() ? QStringLiteral("error ") + served.Error
                                                         : served.UniqueName));
  std::fflush(stdout);
  return QCoreApplication::exec();
}

}  // namespace

namespace korvalen {
namespace {

using namespace std::chrono_literals;

// A private session bus for the whole binary: the process's session
// connection is made once and kept.
test::TPrivateSessionBus* GBus = nullptr;

// An earlier instance in a process of its own.
class TServer {
 public:
  explicit TServer(const QByteArray& busAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS")) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(busAddress));
    FProcess.setProcessEnvironment(environment);
    FProcess.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve")});
    FFirstLine = NextLine();
  }
  ~TServer() {
    FProcess.kill();
    FProcess.waitForFinished(5000);
  }
  // Its unique name, or "error ..." when it serves nothing.
  const QString& FirstLine() const { return FFirstLine; }
  QString NextLine() {
    while (!FProcess.canReadLine() && FProcess.waitForReadyRead(5000)) {
    }
    return QString::fromUtf8(FProcess.readLine()).trimmed();
  }

 private:
  QProcess FProcess;
  QString FFirstLine;
};

#define REQUIRE_BUS()                                                  \
  if (GBus == nullptr || !GBus->Running()) {                           \
    GTEST_SKIP() << "dbus-daemon is needed (scripts/install-deps.sh)"; \
  }

TEST(ActivationBus, ActivateHandsOverTheTokenOrNone) {
  REQUIRE_BUS();
  TServer earlier;
  ASSERT_TRUE(earlier.FirstLine().startsWith(QLatin1Char(':'))) << qPrintable(earlier.FirstLine());
  const std::string content = earlier.FirstLine().toStdString() + "\n";
  const auto read = [&] { return content; };

  EXPECT_EQ(ActivateOverBus(read, QStringLiteral("launcher-token_1"), 2s), QString());
  EXPECT_EQ(earlier.NextLine(), QStringLiteral("activate [launcher-token_1]"));
  EXPECT_EQ(ActivateOverBus(read, QString(), 2s), QString());
  EXPECT_EQ(earlier.NextLine(), QStringLiteral("activate []"));
}

TEST(ActivationBus, TheNameIsAwaitedUntilItIsWrittenWhole) {
  REQUIRE_BUS();
  TServer earlier;
  const std::string name = earlier.FirstLine().toStdString();
  // Empty, then half written, then whole: as a lock file fills.
  const std::vector<std::string> contents = {"", "", name, name + "\n"};
  std::size_t reads = 0;
  const auto read = [&] { return contents[std::min(reads++, contents.size() - 1)]; };
  EXPECT_EQ(ActivateOverBus(read, QStringLiteral("t"), 2s), QString());
  EXPECT_EQ(reads, contents.size());
  EXPECT_EQ(earlier.NextLine(), QStringLiteral("activate [t]"));
}

TEST(ActivationBus, OpenAndActivateActionAreNotSupported) {
  REQUIRE_BUS();
  TServer earlier;
  const QString path = QLatin1String(kApplicationObjectPath);
  const QString interface = QLatin1String(kApplicationInterface);
  QDBusMessage open =
      QDBusMessage::createMethodCall(earlier.FirstLine(), path, interface, QStringLiteral("Open"));
  open << QStringList{QStringLiteral("file:///x")} << QVariantMap{};
  QDBusMessage action = QDBusMessage::createMethodCall(earlier.FirstLine(), path, interface,
                                                       QStringLiteral("ActivateAction"));
  action << QStringLiteral("quit") << QVariantList{} << QVariantMap{};
  for (const QDBusMessage& call : {open, action}) {
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
    EXPECT_EQ(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.NotSupported"))
        << qPrintable(call.member());
  }
}

TEST(ActivationBus, FailuresSayWhyAndEndInTime) {
  REQUIRE_BUS();
  struct TRow {
    const char* label;
    std::string content;
    const char* reason;
  };
  const std::vector<TRow> rows = {
      {"NothingWritten", "", "no bus name within 300 ms"},
      {"NotAUniqueName", "org.example.Name\n", "no bus name within 300 ms"},
      {"NobodyOwnsTheName", ":1.99999\n", "org.freedesktop.DBus.Error.ServiceUnknown"},
  };
  for (const TRow& row : rows) {
    QElapsedTimer timer;
    timer.start();
    const QString why = ActivateOverBus([&] { return row.content; }, QString(), 300ms);
    EXPECT_TRUE(why.contains(QLatin1String(row.reason))) << row.label << ": " << qPrintable(why);
    EXPECT_LT(timer.elapsed(), 1500) << row.label;
  }
}

TEST(ActivationBus, WithoutABusNothingIsServed) {
  REQUIRE_BUS();
  TServer earlier("unix:path=/nonexistent/bus");
  EXPECT_TRUE(earlier.FirstLine().startsWith(QStringLiteral("error no session bus")))
      << qPrintable(earlier.FirstLine());
}

TEST(UniqueNameFromContent, OnlyAWholeUniqueName) {
  struct TRow {
    std::string content;
    const char* name;
  };
  const std::vector<TRow> rows = {
      {":1.42\n", ":1.42"}, {":1.42", ""},          {"", ""},       {":\n", ""}, {"\n", ""},
      {"org.a.B\n", ""},    {":1.42\n:1.43\n", ""}, {":1 42\n", ""}};
  for (const TRow& row : rows) {
    EXPECT_EQ(UniqueNameFromContent(row.content), QLatin1String(row.name)) << row.content;
  }
}

}  // namespace
}  // namespace korvalen

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--serve") == 0) {
    return Serve(argc, argv);
  }
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication application(argc, argv);
  // Listing the tests needs no bus.
  std::optional<korvalen::test::TPrivateSessionBus> bus;
  if (!::testing::GTEST_FLAG(list_tests)) {
    korvalen::GBus = &bus.emplace();
  }
  return RUN_ALL_TESTS();
}
