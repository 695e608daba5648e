// Reads and rewrites a large generated profile; prints reader throughput and the cost of setRules
// (section rewrite plus the atomic save) against writing the same bytes with QSaveFile alone.
#include <algorithm>
#include <cstdio>
#include <functional>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QTemporaryDir>

#include "FRWAppPaths.h"
#include "FRWProfileDocument.h"
#include "FRWProfileStore.h"

namespace {

constexpr int kRules = 10000;
constexpr int kProxies = 2000;
constexpr int kGroups = 200;
constexpr int kMembersPerGroup = 20;

QString generatedProfile()
{
    QString text = FRWProfileDocument::templateConfig().section(QStringLiteral("[Proxy]"), 0, 0);
    text += QStringLiteral("[Proxy]\n");
    for (int i = 0; i < kProxies; ++i) {
        text += QStringLiteral("node-%1 = ferrow, server-%1.example.net, %2, psk=%3, tfo=auto, "
                               "underlying-proxy=DIRECT\n")
                    .arg(i)
                    .arg(1024 + i)
                    .arg(QString::number(0x9e3779b97f4a7c15ULL * (i + 1), 36));
    }
    text += QStringLiteral("\n[Proxy Group]\n");
    for (int g = 0; g < kGroups; ++g) {
        QStringList fields{g % 2 ? QStringLiteral("url-test") : QStringLiteral("select")};
        for (int m = 0; m < kMembersPerGroup; ++m) {
            fields.append(QStringLiteral("node-%1").arg((g * 7 + m * 13) % kProxies));
        }
        fields.append(QStringLiteral("interval=300"));
        text += QStringLiteral("group-%1 = %2\n").arg(g).arg(fields.join(QStringLiteral(", ")));
    }
    text += QStringLiteral("\n[Rule]\n");
    const char* types[] = {"DOMAIN-SUFFIX", "DOMAIN", "DOMAIN-KEYWORD", "IP-CIDR"};
    for (int r = 0; r < kRules - 1; ++r) {
        const QString value = r % 4 == 3 ? QStringLiteral("10.%1.%2.0/24").arg(r / 256 % 256).arg(r % 256)
                                         : QStringLiteral("site%1.example.com").arg(r);
        text += QStringLiteral("%1,%2,group-%3\n").arg(QLatin1String(types[r % 4]), value).arg(r % kGroups);
    }
    text += QStringLiteral("FINAL,group-0\n");
    return text;
}

// Best of several runs, in seconds.
double bestOf(int runs, const std::function<void()>& work)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString text = generatedProfile();
    const double megabytes = static_cast<double>(text.toUtf8().size()) / 1e6;
    std::printf("profile: %d rules, %d proxies, %d groups, %.2f MB\n", kRules, kProxies, kGroups, megabytes);

    qsizetype sink = 0;
    const auto reader = [&](const char* name, const std::function<qsizetype()>& read) {
        const double seconds = bestOf(7, [&] { sink += read(); });
        std::printf("%-16s %8.1f MB/s  (%.2f ms)  target >= 100 MB/s\n", name, megabytes / seconds,
                    seconds * 1e3);
    };
    reader("rules", [&] { return FRWProfileDocument::rules(text).size(); });
    reader("nodes", [&] { return FRWProfileDocument::nodes(text).size(); });
    reader("editableNodes", [&] { return FRWProfileDocument::editableNodes(text).size(); });
    reader("groups", [&] { return FRWProfileDocument::groups(text).size(); });

    FRWProfileStore store(
        FRWAppPaths::under(dir.path() + QStringLiteral("/data"), dir.path() + QStringLiteral("/config")));
    store.load();
    store.activeProfile()->configText = text;
    store.save();
    const QList<QVariantMap> rules = store.rules();

    const double lines = bestOf(7, [&] { sink += FRWProfileDocument::ruleLines(rules).size(); });
    const QStringList ruleText = FRWProfileDocument::ruleLines(rules);
    const double replace = bestOf(7, [&] {
        sink += FRWProfileDocument::replaceSection(text, QStringLiteral("[Rule]"), ruleText).size();
    });
    const double saveOnly = bestOf(7, [&] { store.save(); });
    std::printf("  of which: rule lines %.2f ms, section rewrite %.2f ms, save %.2f ms\n", lines * 1e3,
                replace * 1e3, saveOnly * 1e3);
    const double setRules = bestOf(7, [&] { store.setRules(rules); });
    const QByteArray bytes = store.activeProfile()->configText.toUtf8();
    const double plainWrite = bestOf(7, [&] {
        QSaveFile file(dir.path() + QStringLiteral("/plain.conf"));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        file.commit();
    });
    std::printf("setRules+save    %8.2f ms; QSaveFile alone %.2f ms; ratio %.2fx  target <= 3x\n",
                setRules * 1e3, plainWrite * 1e3, setRules / plainWrite);
    return sink > 0 ? 0 : 1;
}
