// The generated book the benchmarks share: 100 stocks (and the index) with ten years of daily prices,
// 2014 to 2023, and optionally trade records bought and sold over those years.
#pragma once

#include <memory>
#include <vector>

#include <QString>
#include <QTemporaryDir>

inline constexpr int kBenchStocks = 100;

// The code of stock k (0 .. kBenchStocks − 1): half Shanghai codes 6000xx, half Shenzhen 0000xx.
QString BenchStockCode(int k);

struct BenchBook {
    QTemporaryDir dir;
    QString pristine;          // a copy of the generated ACC.MDB, before any asset row
    std::vector<double> days;  // the trading days, ascending
};

// Makes a program folder (and sets it as the program's) holding an ACC.MDB with the price history
// of every stock and `records` records with their amounts, and keeps a pristine copy of it. The same
// random sequence each time, so the figures compare from run to run.
std::unique_ptr<BenchBook> MakeBenchBook(int records);

// Puts the pristine copy back as ACC.MDB.
void RestoreBenchBook(const BenchBook &book);

// The Saturday after the last trading day as today (the calendar asks no quote service and today
// gets no asset row), a quote service that refuses at once, and the system settings of the runs.
void SetUpBenchRun();
