#include "platform/HostAutomation.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <csignal>

namespace quenlor {
namespace {

// The 64-bit build of the automation host, run under Wine; set by the build when the Windows
// layer was built first (the test command does that).
#ifdef QUENLOR_COM32_TEST_HOST
constexpr const char* kHost = QUENLOR_COM32_TEST_HOST;
#else
constexpr const char* kHost = nullptr;
#endif

HostAutomation::Options wineHost() {
    HostAutomation::Options o;
    o.program = QStringLiteral("wine");
    o.arguments = {QString::fromUtf8(kHost)};
    o.startTimeoutMs = 60000;
    o.propertyTimeoutMs = 60000;
    o.methodTimeoutMs = 60000;
    return o;
}

int errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const AutomationError& e) {
        return e.number;
    }
    return 0;
}

class HostUnderWine : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kHost || !QFileInfo::exists(QString::fromUtf8(kHost)))
            GTEST_SKIP()
                << "the Windows layer was not built before this suite (./test.sh builds it)";
        qputenv("WINEDEBUG", "-all");
        qputenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winedbg.exe=d");
    }
};

TEST_F(HostUnderWine, DictionaryLateBound) {
    HostAutomation automation(wineHost());
    AutomationObjectPtr dict = automation.create(QStringLiteral("Scripting.Dictionary"));
    ASSERT_NE(dict, nullptr);
    dict->put(QStringLiteral("CompareMode"), 1); // text comparison: keys ignore letter case
    dict->call(QStringLiteral("Add"), {QStringLiteral("a"), QStringLiteral("账套甲")});
    dict->call(QStringLiteral("Add"), {QStringLiteral("b"), 42});
    EXPECT_EQ(dict->get(QStringLiteral("Count")).toLongLong(), 2);
    EXPECT_EQ(dict->get(QStringLiteral("Item"), {QStringLiteral("A")}).toString(),
              QStringLiteral("账套甲"));
    EXPECT_EQ(dict->get(QStringLiteral("Item"), {QStringLiteral("b")}).toLongLong(), 42);
    EXPECT_EQ(dict->call(QStringLiteral("Exists"), {QStringLiteral("c")}).toBool(), false);

    // Exceptions of the component come back with its own number.
    EXPECT_EQ(errorNumber([&] {
                  dict->call(QStringLiteral("Add"), {QStringLiteral("a"), 1});
              }),
              457);
    EXPECT_EQ(errorNumber([&] { dict->get(QStringLiteral("NoSuchMember")); }),
              AutomationErrors::NoSuchMember);
    EXPECT_EQ(errorNumber([&] { automation.create(QStringLiteral("Quenlor.No.Such.Class")); }),
              AutomationErrors::CannotCreateObject);
    // The host still serves after the failures.
    EXPECT_EQ(dict->get(QStringLiteral("Count")).toLongLong(), 2);
}

TEST_F(HostUnderWine, ObjectsTravelAsHandles) {
    HostAutomation automation(wineHost());
    AutomationObjectPtr outer = automation.create(QStringLiteral("Scripting.Dictionary"));
    AutomationObjectPtr inner = automation.create(QStringLiteral("Scripting.Dictionary"));
    inner->call(QStringLiteral("Add"), {QStringLiteral("k"), QStringLiteral("v")});
    outer->call(QStringLiteral("Add"), {QStringLiteral("child"), toVariant(inner)});
    const AutomationObjectPtr back =
        toObject(outer->get(QStringLiteral("Item"), {QStringLiteral("child")}));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->get(QStringLiteral("Item"), {QStringLiteral("k")}).toString(),
              QStringLiteral("v"));
}

TEST_F(HostUnderWine, AHostThatDiesIsAFailureNotAHang) {
    HostAutomation automation(wineHost());
    AutomationObjectPtr dict = automation.create(QStringLiteral("Scripting.Dictionary"));
    ASSERT_GT(automation.hostProcessId(), 0);
    ::kill(pid_t(automation.hostProcessId()), SIGKILL);
    QElapsedTimer t;
    t.start();
    EXPECT_NE(errorNumber([&] { dict->get(QStringLiteral("Count")); }), 0);
    EXPECT_LT(t.elapsed(), 10000);
    // A new object gets a new host.
    EXPECT_NE(automation.create(QStringLiteral("Scripting.Dictionary")), nullptr);
    EXPECT_EQ(errorNumber([&] { dict->get(QStringLiteral("Count")); }), AutomationErrors::NoObject)
        << "objects of the dead host stay dead";
}

TEST(HostAutomationTest, SilentHostIsEndedAfterItsTimeout) {
    HostAutomation::Options o;
    o.program = QStringLiteral("sleep");
    o.arguments = {QStringLiteral("600")};
    o.propertyTimeoutMs = 500;
    HostAutomation automation(o);
    QElapsedTimer t;
    t.start();
    try {
        automation.create(QStringLiteral("Scripting.Dictionary"));
        ADD_FAILURE() << "a host that never answers cannot create anything";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.description, QStringLiteral("自动化部件宿主进程没有响应，已结束它。"));
    }
    EXPECT_GE(t.elapsed(), 450);
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(automation.hostProcessId(), 0) << "the silent host was ended";
}

TEST(HostAutomationTest, MissingHostCannotCreate) {
    HostAutomation::Options o;
    o.program = QStringLiteral("/nonexistent/quenlor-com32.exe");
    HostAutomation automation(o);
    EXPECT_EQ(errorNumber([&] { automation.create(QStringLiteral("X.Y")); }),
              AutomationErrors::CannotCreateObject);
}

TEST(HostAutomationTest, HostThatQuitsAtOnceIsAFailure) {
    HostAutomation::Options o;
    o.program = QStringLiteral("true");
    HostAutomation automation(o);
    EXPECT_NE(errorNumber([&] { automation.create(QStringLiteral("X.Y")); }), 0);
}

} // namespace
} // namespace quenlor
