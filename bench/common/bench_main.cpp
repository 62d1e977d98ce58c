// The entry point shared by the benchmark programs: a Qt application on the offscreen platform unless
// another is asked for (the database layer and the HTTP client use Qt's event loop and texts, and
// some benchmarks time windows), then every benchmark the command line selects.
#include <benchmark/benchmark.h>

#include <clocale>

#include <QApplication>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Qt takes the locale from the environment; numbers in files, SQL and texts are always written
    // and read with a decimal point.
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
