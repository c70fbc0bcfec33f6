#include "core/app/ServerWorker.h"
#include "core/app/QueuedSinks.h"
#include "support/TestState.h"

#include <QEventLoop>
#include <QTimer>

namespace quenlor {
namespace {

// The window: what reaches it, marked when it arrives on any thread but its own. A message
// "停" is the operator pressing stop while it is shown.
struct Window final : MessageSink, ProgressSink {
    QStringList log;
    void note(const QString& s) { log << (QThread::currentThread() == thread ? s : "off " + s); }
    QThread* thread = QThread::currentThread();
    short ShowMsg(short, const QString& text) override {
        if (note("ask " + text); text == "停")
            state().worker().requestStop();
        return MsgResult::Yes;
    }
    QString AskText(const QString& prompt) override { return note("type " + prompt), "甲库"; }
    void runStarted() override { note("started"); }
    void runEnded() override { note("ended"); }
    void showProgress(int maximum) override { note(QString("show %1").arg(maximum)); }
    void hideProgress() override {}
    void setProgressValue(int value) override { note(QString("value %1").arg(value)); }
    void setReport(const QString& text) override { note("report " + text); }
    bool stopRequested() override { return false; }
};

using ServerWorkerTest = test::StateFixture;

TEST_F(ServerWorkerTest, JobsReachTheWindowInOrderAndItsAnswersReachTheJob) {
    const auto stop = [](ProgressSink& p) { p.setReport(p.stopRequested() ? "停" : "行"); };
    const std::tuple<const char*, std::function<void(ProgressSink&)>, QString> rows[] = {
        {"progress and questions in order",
         [&](ProgressSink& p) {
             p.runStarted(), p.showProgress(2), stop(p);
             p.setReport(QString::number(state().msg().ShowMsg(MsgKind::Question, "删吗")));
             p.setReport(state().msg().AskText("库名")), p.setProgressValue(1), p.runEnded();
         },
         "started|show 2|report 行|ask 删吗|report 1|type 库名|report 甲库|value 1|ended"},
        {"a stop lands at the next check",
         [&](ProgressSink& p) { stop(p), state().msg().ShowMsg(MsgKind::Notice, "停"), stop(p); },
         "report 行|ask 停|report 停"},
    };
    for (const auto& [name, job, log] : rows) {
        SCOPED_TRACE(name);
        auto* window = new Window;
        st().frmMsg.reset(window);
        QueuedProgressSink progress(*window, st().worker());
        bool onWorker = false, done = false, second = false;
        ASSERT_TRUE(
            st().worker().start([&] { onWorker = st().worker().onWorkerThread(), job(progress); },
                                [&] { done = !st().serverBusy(); }));
        EXPECT_FALSE(st().worker().start([&] { second = true; }));
        EXPECT_TRUE(test::turnUntil([&] { return done; }) && onWorker && !second);
        EXPECT_EQ(window->log.join('|'), log);
    }
}

} // namespace
} // namespace quenlor
