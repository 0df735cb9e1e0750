-- The delivered data file zqdata.mdb. Text fields compare and sort without regard to case, as
-- the program's queries expect; yes/no fields hold 1 (yes) and 0 (no).
-- Dates are stored as "YYYY-MM-DD" text, times of day as "HH:MM:SS" text, so that ordering by
-- date and time is chronological.
PRAGMA page_size = 4096;
BEGIN;

CREATE TABLE syscfg (
    commtype TEXT COLLATE NOCASE,
    commport TEXT COLLATE NOCASE,
    netpolltime TEXT COLLATE NOCASE,
    netdeltime TEXT COLLATE NOCASE,
    usbreset TEXT COLLATE NOCASE,
    rfnet BOOLEAN,
    smallfonts BOOLEAN,
    datacolenbstart BOOLEAN,
    rfnetid INTEGER,
    tagblz INTEGER,
    slave0enb BOOLEAN, slave1enb BOOLEAN, slave2enb BOOLEAN, slave3enb BOOLEAN, slave4enb BOOLEAN,
    slave5enb BOOLEAN, slave6enb BOOLEAN, slave7enb BOOLEAN, slave8enb BOOLEAN,
    slave0top REAL, slave1top REAL, slave2top REAL, slave3top REAL, slave4top REAL,
    slave5top REAL, slave6top REAL, slave7top REAL, slave8top REAL,
    slave0left REAL, slave1left REAL, slave2left REAL, slave3left REAL, slave4left REAL,
    slave5left REAL, slave6left REAL, slave7left REAL, slave8left REAL
);
INSERT INTO syscfg (commtype, commport, netpolltime, netdeltime, usbreset, rfnet, smallfonts,
                    datacolenbstart, rfnetid, tagblz,
                    slave0enb, slave1enb, slave2enb, slave3enb, slave4enb,
                    slave5enb, slave6enb, slave7enb, slave8enb,
                    slave0top, slave1top, slave2top, slave3top, slave4top,
                    slave5top, slave6top, slave7top, slave8top,
                    slave0left, slave1left, slave2left, slave3left, slave4left,
                    slave5left, slave6left, slave7left, slave8left)
VALUES ('RS232', '1', '.33', '.01', '0', 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0);

CREATE TABLE ScaleCFG (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    sctype TEXT COLLATE NOCASE,
    NetID INTEGER,
    Description TEXT COLLATE NOCASE,
    SerialNo TEXT COLLATE NOCASE,
    Active BOOLEAN,
    "Poll Time" REAL,
    "Poll Active" BOOLEAN,
    polltime REAL,
    baud TEXT COLLATE NOCASE
);
CREATE INDEX ScaleCFG_NetID ON ScaleCFG (NetID);

CREATE TABLE datacol (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    ScaleID TEXT COLLATE NOCASE,
    "Group" TEXT COLLATE NOCASE,
    Reading TEXT COLLATE NOCASE,
    -- TEXT, not TIME / DATE: those would take NUMERIC affinity and turn a time text such as
    -- "12.30" from an SD-card line into the number 12.3.
    "Time" TEXT COLLATE NOCASE,
    "Date" TEXT COLLATE NOCASE,
    TagID TEXT COLLATE NOCASE
);
-- One index per ordering of the collected-readings grid (the ID ordering uses the key).
CREATE INDEX datacol_reading ON datacol (Reading, "Date", "Time");
CREATE INDEX datacol_scaleid ON datacol (ScaleID, "Date", "Time");
CREATE INDEX datacol_datetime ON datacol ("Date", "Time");

CREATE TABLE groups (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    IDnum INTEGER,
    description TEXT COLLATE NOCASE
);

CREATE TABLE ocxfer (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    data TEXT COLLATE NOCASE
);

CREATE TABLE defaultgroups (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    data TEXT COLLATE NOCASE
);

CREATE TABLE defaultoutputs (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    data TEXT COLLATE NOCASE
);

COMMIT;
