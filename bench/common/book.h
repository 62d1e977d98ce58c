// A generated book for the benchmarks: a program folder with an ACC.MDB holding trading days of
// 2014 to 2023, optionally the price history of the index and of every stock, and the records of
// the stocks with their amounts computed.
#pragma once

#include <cstdint>
#include <vector>

#include <QString>
#include <QTemporaryDir>

struct BookPlan {
    int stocks = 100;
    int records = 1000;
    // Two records in three are sold, or all of them.
    bool allSold = false;
    // The index and every stock get a price row each trading day (a stock is suspended now and then).
    bool history = true;
    uint32_t seed = 20240309;
};

struct Book {
    QTemporaryDir dir;
    QString pristine;          // the generated ACC.MDB as it was made
    std::vector<double> days;  // the trading days, ascending
};

// Makes the book and makes its folder the program folder. The book lives to the end of the run. When
// the environment variable KELVARO_KEEP_BOOK names a file, the generated ACC.MDB is copied there too.
Book &MakeBook(const BookPlan &plan);

// Puts the generated ACC.MDB back in place of the one in the program folder.
void RestoreBook(const Book &book);

// The stock codes of a book: 600000 and up for the first half, 000001 and up for the rest.
QString BookStockCode(int k, int stocks);

// The Saturday after the last trading day as today (the calendar asks no quote service and today
// gets no asset row) and the system settings of the runs. The services refuse at once: the programs'
// main points them at a port it holds closed.
void SetUpBookRun();
