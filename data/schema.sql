-- The tables of a new ACC.MDB. Dates are REAL day numbers since 1899-12-30 in DATE columns (the
-- empty date 1900-01-01 is 2); money and prices are DOUBLE so that no division becomes an integer
-- division; text compares without regard to case, as the program's SQL expects.

CREATE TABLE account(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    code TEXT COLLATE NOCASE DEFAULT '',
    sname TEXT COLLATE NOCASE DEFAULT '',
    bdate DATE DEFAULT 2,
    bprice DOUBLE DEFAULT 0,
    num INTEGER DEFAULT 0,
    tnum INTEGER DEFAULT 0,
    sdate DATE DEFAULT 2,
    sprice DOUBLE DEFAULT 0,
    bcash DOUBLE DEFAULT 0,
    scash DOUBLE DEFAULT 0,
    aprice DOUBLE DEFAULT 0,
    memo TEXT COLLATE NOCASE DEFAULT '',
    sid INTEGER DEFAULT 0
);
CREATE INDEX account_code_bdate ON account(code, bdate);
CREATE INDEX account_bdate ON account(bdate);
CREATE INDEX account_sdate ON account(sdate);

CREATE TABLE DeelRes(
    dat DATE,
    cash DOUBLE DEFAULT 0,
    scash DOUBLE DEFAULT 0,
    sm DOUBLE DEFAULT 0
);
CREATE INDEX DeelRes_dat ON DeelRes(dat);

CREATE TABLE 参数(
    Var TEXT COLLATE NOCASE,
    Con TEXT COLLATE NOCASE DEFAULT ''
);
CREATE UNIQUE INDEX 参数_Var ON 参数(Var);

CREATE TABLE companyinfo(
    id INTEGER PRIMARY KEY,
    code TEXT COLLATE NOCASE UNIQUE,
    name TEXT COLLATE NOCASE DEFAULT '',
    py TEXT COLLATE NOCASE DEFAULT ''
);

CREATE TABLE LastClprice(
    code TEXT COLLATE NOCASE UNIQUE,
    clprice DOUBLE DEFAULT 0
);

CREATE TABLE LastPrice(
    code TEXT COLLATE NOCASE,
    price DOUBLE DEFAULT 0
);
