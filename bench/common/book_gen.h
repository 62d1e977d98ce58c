// The generated book of the benchmarks: 100 stocks and 1,000 trade records over ten years of trading
// days (2014 to 2023, about 2,450 days of index history and of each stock's history), made once per
// process in a temporary program folder, with a pristine copy to start each run from.
#pragma once

#include <vector>

#include <QString>
#include <QTemporaryDir>

inline constexpr int kBookStocks = 100;
inline constexpr int kBookRecords = 1000;

struct BenchBook {
    QTemporaryDir dir;         // the program folder
    QString pristine;          // the generated ACC.MDB, before any asset row
    std::vector<double> days;  // the trading days, ascending
};

// The code of the k-th stock of the book: 600000 to 600049, then 000051 to 000100.
QString BookStockCode(int k);

// The book, generated on first use (the program folder is set to its folder).
BenchBook &TheBook();

// Replaces ACC.MDB by a fresh copy of the generated database: records with their amounts, price
// tables, no asset rows.
void RestoreBook(const BenchBook &book);

// The conditions of every run: today is the Saturday after the last trading day (the calendar asks
// no quote service and today gets no row), the quote service refuses at once, and the settings are
// fixed.
void SetUpBookRun();
