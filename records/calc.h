// 计算函数: fees, cost prices and the derived amounts of trade records (table account).
// Fee rules: a commission on each side at CommissionRate() with a minimum of 5 yuan, and a stamp
// duty on the sell side only at 1 per mille with a minimum of 1 yuan. Fees are worked out on the
// shares of the trade that created the record (tnum) and prorated by num / tnum.
#pragma once

#include <cstdint>

#include "platform/recordset.h"
#include "platform/value.h"

// The SELECT of the trade grid: every account column plus profit, sc, pper and days (holding days
// to the sell date, or to now for an open record). The grid appends its WHERE and ORDER BY parts.
inline const QString kAccountGridSelect = QStringLiteral(
    "SELECT *,IIF(sprice=0,0,scash-bcash) AS profit,IIF(sprice=0,0,scash) AS sc,"
    "IIF(sprice=0,0,scash/bcash*100-100) AS pper,CLNG(FIX(IIF(sprice=0,now-bdate,sdate-bdate))) AS days FROM account");

// One fee item in yuan: n × price × rate rounded half to even to 2 decimals, raised to the minimum.
double CalcFeeItem(int32_t n, double price, double rate, double minimum);

// The fees of a record in yuan. Mode 0 buy commission; 1 sell commission + stamp duty; 2 all three;
// any other mode 0. An open record (sprice <= 0) is estimated at the buy price; tnum <= 0 counts as
// num. 0 when num < 1 or bprice <= 0. The result is prorated by num / tnum and not rounded.
double CalcTradeFee(int32_t num, int mode, double bprice, double sprice, int32_t tnum);

// Cost price per share in yuan: (num × price + all fees) / num, not rounded. 0 when num is 0.
double CalcCostPrice(int32_t num, double price, double sprice, int32_t tnum);

// Recomputes aprice, bcash (num × bprice rounded to 1 decimal, plus the buy commission) and scash
// (num × sprice rounded to 1 decimal, minus the sell fees) of account records.
// Without a record set: repairs a tnum of 0 or NULL to num for every record, then recomputes the
// record with that id (a number, a numeric text or an id field value), or every record when id is a
// numeric 0 (the number or the text "0"); an id that does not exist, Empty, Null or a text that is
// no number changes no record. With an open record set over account: recomputes its current record
// (every record when id is a numeric 0) and keeps its position.
// A record with num 0 keeps its aprice and gets amounts without fees. Returns false when a record
// could not be read or written (logged).
bool RecalcTradeAmounts(const Value &id, RecordSet *rs = nullptr);
