#pragma once
// The collected-reading record: every reading the scale screen logs goes into datacol through
// the recordset of the grid's data control, fields set in the order ScaleID, Reading, Time (the
// time of day now), Date (today), then stored. No other field is written.
#include <QString>
#include <QVariant>
#include <cstdint>

namespace adodb {
class DataControl;
}

// Appends one record. A null `reading` (QVariant()) leaves Reading empty (Null). Returns the new
// record's ID, or -1 when a step failed, with `error` telling why; a failed record is cancelled,
// never left half written.
int64_t add_collected_reading(adodb::DataControl* data2, const QString& scale_id, const QVariant& reading,
                              QString* error = nullptr);
