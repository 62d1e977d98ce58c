// The entry point shared by the benchmark programs: a Qt application on the offscreen platform (the
// database layer and the HTTP client use Qt's event loop and texts; the grid benchmarks measure text
// in fonts and attach views), the quote and data services pointed at a port the process holds closed
// (a benchmark that wants a service starts its own fake), then every benchmark the command line selects.
// Every temporary folder and file of the run (the generated books, the written workbooks) is made in
// one folder of the system's temporary folder, which is removed when the benchmarks end.
#include <benchmark/benchmark.h>

#include <clocale>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "fixtures/closed_port.h"

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Qt takes the locale from the environment; numbers in files, SQL and texts are always written
    // and read with a decimal point.
    std::setlocale(LC_NUMERIC, "C");
    PointServicesAtClosedPort();
    // Qt and SQLite take the temporary folder from TMPDIR each time they make something there. The
    // books are held to the end of the run, some by objects never destroyed: the folder goes with
    // this one.
    QTemporaryDir scratch;
    if (scratch.isValid())
        qputenv("TMPDIR", QFile::encodeName(scratch.path()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
