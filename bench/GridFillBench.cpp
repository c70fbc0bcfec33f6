// How long filling the main grid from a large listing takes, and how much memory the filled grid
// holds. Run: build/<preset>/bench/quenlor_bench
#include "core/app/ProgramState.h"
#include "core/listing/MainListing.h"
#include "platform/Database.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <malloc.h>

namespace {

using namespace quenlor;

// A connection that answers every query with one prepared result, so only the client side is
// measured.
class PreparedResult final : public Database {
public:
    explicit PreparedResult(QueryResult r) : m_result(std::move(r)) {}
    bool isOpen() const override { return true; }
    QueryResult query(const QString&) override { return m_result; }
    void execute(const QString&) override {}
    void beginTrans() override {}
    void commitTrans() override {}
    void rollbackTrans() override {}

private:
    QueryResult m_result;
};

// A T+ listing of `rows` databases: seven columns, as the server returns them.
QueryResult tplusResult(int rows) {
    QueryResult r;
    r.columns = {QStringLiteral("选择"),     QStringLiteral("数据库"),   QStringLiteral("账套号"),
                 QStringLiteral("账套名称"), QStringLiteral("开始年度"), QStringLiteral("状态"),
                 QStringLiteral("路径")};
    r.rows.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        r.rows.append({QString(),
                       QStringLiteral("UFTData%1_000001").arg(i, 6, 10, QLatin1Char('0')),
                       QVariant(qint64(i + 1)), QStringLiteral("演示账套%1").arg(i),
                       QVariant(qint64(2015 + i % 10)), QStringLiteral("正常"),
                       QStringLiteral("D:\\TPlusData\\UFTData%1_000001.mdf").arg(i)});
    }
    return r;
}

std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

void BM_FillGrid(benchmark::State& s) {
    state().MasterConn = std::make_unique<PreparedResult>(tplusResult(int(s.range(0))));
    std::size_t gridBytes = 0;
    for (auto _ : s) {
        MainListing listing;
        const std::size_t before = heapInUse();
        listing.select({ProductFamily::Tplus, QString()});
        listing.LoadDB();
        gridBytes = heapInUse() - before;
        benchmark::DoNotOptimize(listing.grid().Rows());
    }
    s.counters["rows"] = double(s.range(0));
    s.counters["grid_MB"] = double(gridBytes) / (1024.0 * 1024.0);
    state().MasterConn.reset();
}

BENCHMARK(BM_FillGrid)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
