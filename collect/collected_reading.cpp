#include "collect/collected_reading.h"

#include "platform/clock/clock.h"
#include "platform/db/data_control.h"
#include "platform/db/disk_fault.h"

int64_t add_collected_reading(adodb::DataControl* data2, const QString& scale_id, const QVariant& reading,
                              QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return int64_t(-1);
    };
    if (!data2) return fail(QStringLiteral("The collected readings are not open."));
    adodb::Recordset* rs = data2->Recordset();
    if (!rs->IsOpen()) return fail(QStringLiteral("The collected readings are not open."));
    const QDateTime now = wclock::Now();
    rs->AddNew();
    rs->SetValue("ScaleID", scale_id);
    rs->SetValue("Reading", reading);
    rs->SetValue("Time", now.time());
    rs->SetValue("Date", now.date());
    if (!rs->Update()) {
        // A full or failing disk is told with its cure: the readings stored so far are whole.
        const QString why = adodb::told_with_cure(rs->error(), rs->fault(), data2->ConnectionString());
        rs->CancelUpdate();
        return fail(why);
    }
    bool ok = false;
    const int64_t id = rs->Value("ID").toLongLong(&ok);
    return ok ? id : fail(QStringLiteral("The stored record has no ID."));
}
