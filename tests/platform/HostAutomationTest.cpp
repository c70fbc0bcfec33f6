#include "platform/HostAutomation.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>

#include <csignal>
#include <functional>

using namespace Qt::StringLiterals;

namespace quenlor {
namespace {

int errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const AutomationError& e) {
        return e.number;
    }
    return 0;
}

// The 64-bit build of the automation host under Wine; the build names it when the Windows layer
// was built first (the test command does that).
TEST(HostAutomation, UnderWineLateBoundCallsHandlesErrorsAndADeadHost) {
    const QString host = QStringLiteral(QUENLOR_COM32_TEST_HOST);
    if (!QFileInfo::exists(host))
        GTEST_SKIP() << "the Windows layer was not built before this suite (./test.sh builds it)";
    qputenv("WINEDEBUG", "-all");
    qputenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winedbg.exe=d");
    HostAutomation automation({u"wine"_s, {host}, 60000, 60000, 60000});
    const auto newDictionary = [&] { return automation.create(u"Scripting.Dictionary"_s); };
    AutomationObjectPtr dict = newDictionary();
    ASSERT_NE(dict, nullptr);
    dict->put(u"CompareMode"_s, 1); // text comparison: keys ignore letter case
    dict->call(u"Add"_s, {u"a"_s, u"账套甲"_s});
    EXPECT_EQ(dict->get(u"Item"_s, {u"A"_s}).toString(), u"账套甲"_s);
    // Objects travel as handles, there and back.
    dict->call(u"Add"_s, {u"child"_s, toVariant(newDictionary())});
    const AutomationObjectPtr back = toObject(dict->get(u"Item"_s, {u"child"_s}));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->get(u"Count"_s).toLongLong(), 0);

    // The component's own exception number comes back, and the host still serves afterwards.
    EXPECT_EQ(errorNumber([&] { dict->call(u"Add"_s, {u"a"_s, 1}); }), 457);
    EXPECT_EQ(errorNumber([&] { dict->get(u"NoSuchMember"_s); }), AutomationErrors::NoSuchMember);
    EXPECT_EQ(errorNumber([&] { automation.create(u"Quenlor.No.Such.Class"_s); }),
              AutomationErrors::CannotCreateObject);
    EXPECT_EQ(dict->get(u"Count"_s).toLongLong(), 2);

    // A host that dies is a failure at once, not a hang; a new object gets a new host.
    ASSERT_GT(automation.hostProcessId(), 0);
    ::kill(pid_t(automation.hostProcessId()), SIGKILL);
    QElapsedTimer t;
    t.start();
    EXPECT_NE(errorNumber([&] { dict->get(u"Count"_s); }), 0);
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_NE(newDictionary(), nullptr);
    EXPECT_EQ(errorNumber([&] { dict->get(u"Count"_s); }), AutomationErrors::NoObject)
        << "objects of the dead host stay dead";
}

TEST(HostAutomation, HostThatCannotServeIsAFailureWithinItsTimeout) {
    const struct {
        const char* name;
        QStringList command;
        int number; // 0: any failure
    } rows[] = {
        {"Missing", {u"/nonexistent/quenlor-com32.exe"_s}, AutomationErrors::CannotCreateObject},
        {"NeverAnswers", {u"sleep"_s, u"600"_s}, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HostAutomation automation({row.command[0], row.command.mid(1), 15000, 500, 500});
        QElapsedTimer t;
        t.start();
        const int number = errorNumber([&] { automation.create(u"X.Y"_s); });
        EXPECT_TRUE(row.number ? number == row.number : number != 0) << number;
        EXPECT_LT(t.elapsed(), 5000);
        EXPECT_EQ(automation.hostProcessId(), 0) << "no host is left running";
    }
}

} // namespace
} // namespace quenlor
