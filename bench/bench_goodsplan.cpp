// Goods plan benchmark: the goods reply handler's plan of an order whose products all carry one name.
//
//   bench_goodsplan [N]   N products of one name (default 3000), the first with N / 10 sub-products of one name
//
// Each repeated name gets its "(1)", "(2)" ... among the earlier ones; the plan runs on the GUI thread while
// the window waits for it. Three runs, the best time counts. (A search through all earlier names for each
// number took 112 s for 3000 names with the sanitizers; a count per name takes 0.3 s.)

#include "goodsplan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QLoggingCategory>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 3000;
    QJsonArray sons;
    for (int i = 0; i < count / 10; ++i)
        sons.append(QJsonObject{{"goodname", "挂画"}, {"goodtypename", "挂画"}, {"goodamount", "1"}});
    QJsonArray products;
    for (int i = 0; i < count; ++i)
        products.append(QJsonObject{{"goodname", "相册"}, {"id", QString::number(i)}, {"goodtypename", "相册"},
                                    {"goodamount", "1"}, {"parentid", "0"}, {"son_good", i == 0 ? sons : QJsonArray()}});
    const QJsonObject reply{{"order", QJsonObject{{"ordergoods0", products}}}};

    double best = -1;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        const GoodsPlan plan = planGoods(reply, PickupOrder{"A1", "张三", "2024-05-20", ""}, "1");
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (plan.goods.size() != count || plan.goods.last().folderName != QStringLiteral("相册(%1)").arg(count - 1))
            return std::printf("wrong plan\n"), 1;
        std::printf("run %d: %.3f s\n", run + 1, seconds);
        best = best < 0 ? seconds : qMin(best, seconds);
    }
    std::printf("best: %d products of one name planned in %.3f s (target <= 0.50 with the sanitizers)\n", count, best);
    return 0;
}
