// The Logs page's text with a long log: GUI-thread CPU time of bringing the view up to a model that
// gained a batch of 100 lines while the view holds 40,000, against appending the same batch to a
// bare QPlainTextEdit of the same size and content, measured in the same run. Target: 5 ms a batch.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include <QApplication>
#include <QPlainTextEdit>
#include <QStringList>

#include "FRWLogStream.h"
#include "FRWLogText.h"

namespace {

constexpr int kHeld = 40000;
constexpr int kBatch = 100;
constexpr int kRounds = 40;
constexpr double kTargetMs = 5.0;

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QString line(int n)
{
    return QStringLiteral(
               "2024-05-01 12:%1:%2 [info] host%3.example.net:443 via HK (DOMAIN-SUFFIX,example.net)")
        .arg((n / 60) % 60, 2, 10, QChar('0'))
        .arg(n % 60, 2, 10, QChar('0'))
        .arg(n);
}

QPlainTextEdit* makeView()
{
    auto* view = new QPlainTextEdit;
    view->setReadOnly(true);
    view->resize(700, 560);
    view->show();
    return view;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);

    QStringList model;
    for (int n = 0; n < kHeld; ++n) {
        model << line(n);
    }
    QPlainTextEdit* logView = makeView();
    FRWLogText text(logView);
    qint64 cursor = kHeld;
    text.sync(model, cursor);

    QPlainTextEdit* bare = makeView();
    bare->setPlainText(model.join(QLatin1Char('\n')));
    QCoreApplication::processEvents();

    std::vector<double> ours;
    std::vector<double> baseline;
    int next = kHeld;
    for (int round = 0; round < kRounds; ++round) {
        QStringList batch;
        for (int i = 0; i < kBatch; ++i) {
            batch << line(next++);
        }
        // The model keeps its own limit: it trims as many lines as it gains.
        model.remove(0, kBatch);
        model += batch;
        cursor += kBatch;

        double start = threadCpuMs();
        if (text.sync(model, cursor) != FRWLogText::Change::Appended) {
            std::fprintf(stderr, "round %d: the text was not appended to\n", round);
            return 1;
        }
        QCoreApplication::processEvents();
        ours.push_back(threadCpuMs() - start);

        start = threadCpuMs();
        for (const QString& added : batch) {
            bare->appendPlainText(added);
        }
        QCoreApplication::processEvents();
        baseline.push_back(threadCpuMs() - start);
    }
    const double oursMs = median(ours);
    const double bareMs = median(baseline);
    const bool met = oursMs <= kTargetMs;
    std::printf("logs append of %d lines to %d held: %.2f ms (worst %.2f ms), bare QPlainTextEdit %.2f ms, "
                "ratio %.2f\n",
                kBatch, kHeld, oursMs, *std::max_element(ours.begin(), ours.end()), bareMs,
                bareMs > 0 ? oursMs / bareMs : 0.0);
    std::printf("target: a batch under %.0f ms on the GUI thread: %s\n", kTargetMs, met ? "met" : "MISSED");
    delete logView;
    delete bare;
    return met ? 0 : 1;
}
