-- placeholder until the schema lands
CREATE TABLE syscfg (commtype TEXT);
