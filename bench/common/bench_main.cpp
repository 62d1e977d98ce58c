// The entry point shared by the benchmark programs: a Qt core application (the database layer and
// the HTTP client use Qt's event loop and texts), then every benchmark the command line selects.
#include <benchmark/benchmark.h>

#include <clocale>

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Qt takes the locale from the environment; numbers in files, SQL and texts are always written
    // and read with a decimal point.
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
