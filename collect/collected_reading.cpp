#include "collect/collected_reading.h"

#include "platform/clock/clock.h"
#include "platform/db/data_control.h"

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
        const QString why = rs->error();
        rs->CancelUpdate();
        return fail(why);
    }
    bool ok = false;
    const int64_t id = rs->Value("ID").toLongLong(&ok);
    return ok ? id : fail(QStringLiteral("The stored record has no ID."));
}
