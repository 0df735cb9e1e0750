-- The older scale list sccfg.mdb; only the serial RS485 link set-up reads it (NetID of the active
-- RS485 scales, in network order).
PRAGMA page_size = 4096;
BEGIN;
CREATE TABLE ScaleCFG (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    sctype TEXT COLLATE NOCASE,
    NetID INTEGER,
    Description TEXT COLLATE NOCASE,
    active BOOLEAN
);
COMMIT;
