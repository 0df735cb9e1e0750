// The scale-record editor of the Setup dialog: one ScaleCFG record at a time through the hidden
// data control datPrimaryRS, with navigation, "Add Scale" and "Delete Scale".
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include "core/core_state.h"
#include "platform/db/adodb.h"
#include "platform/ui/message_box.h"
#include "setup/Setup.h"

namespace {

const QString kRs232Records =
    QStringLiteral("select * from [ScaleCFG] Where [sctype] = 'RS232' Order by [NetID]");
const QString kNetworkRecords =
    QStringLiteral("select * from [ScaleCFG] Where [sctype] <> 'RS232' Order by [NetID]");

bool has_record(const adodb::Recordset* rs) {
    return rs->IsOpen() && !rs->IsEOF() && !rs->IsBOF();
}

QString text_of(const QVariant& v) {
    return v.isNull() ? QString() : v.toString();
}

// A number box as stored: empty is Null.
QVariant number_of(const QString& text, bool* ok) {
    const QString t = text.trimmed();
    *ok = true;
    if (t.isEmpty()) return QVariant();
    return QVariant(t.toDouble(ok));
}

} // namespace

QString Setup::blz1(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] != QLatin1Char('0')) return text.mid(i).trimmed().isEmpty() ? QString() : text.mid(i);
    return QString();
}

void Setup::sortscales() {
    datPrimaryRS->setConnectionString(core.conn_str);
    datPrimaryRS->setRecordSource(opt_rs232->isChecked() ? kRs232Records : kNetworkRecords);
}

void Setup::refresh_records() {
    store_record();
    if (!datPrimaryRS->Refresh())
        ui::MsgBox(datPrimaryRS->error());
    else if (datPrimaryRS->Recordset()->RecordCount() > 0)
        datPrimaryRS->Recordset()->MoveFirst();
    show_record();
}

void Setup::load_scale_records() {
    sortscales();
    refresh_records();
    if (datPrimaryRS->Recordset()->IsOpen() && datPrimaryRS->Recordset()->RecordCount() > 0) {
        datPrimaryRS->Recordset()->MoveFirst();
        show_record();
        return;
    }
    // The default record belongs to the network list; while "RS232" is shown, one is made only
    // when that list is empty too, so reopening the dialog never piles up copies of it.
    adodb::Connection conn;
    if (!conn.Open(core.conn_str)) return;
    {
        adodb::Recordset network;
        if (network.Open(kNetworkRecords, conn, adodb::adOpenStatic, adodb::adLockReadOnly) &&
            network.RecordCount() > 0)
            return;
    }
    adodb::Recordset rs;
    if (!rs.Open(QStringLiteral("scalecfg"), conn, adodb::adOpenDynamic, adodb::adLockPessimistic)) {
        ui::MsgBox(rs.error());
        return;
    }
    rs.AddNew();
    rs.SetValue(QStringLiteral("sctype"), QStringLiteral("RS485"));
    rs.SetValue(QStringLiteral("Description"), QStringLiteral("SCALE RS485"));
    rs.SetValue(QStringLiteral("SerialNo"), QString());
    rs.SetValue(QStringLiteral("NetID"), 130);
    rs.SetValue(QStringLiteral("Active"), true);
    ui::DoEvents();
    const bool stored = rs.Update();
    rs.Close();
    conn.Close();
    if (!stored) {
        ui::MsgBox(rs.error());
        return;
    }
    ui::DoEvents();
    sortscales();
    refresh_records();
    ui::MsgBox(
        QStringLiteral(
            "There were no scale configuration records. A new one has been created for Network ID#130."),
        ui::vbOKOnly);
}

void Setup::show_record() {
    const bool was_quiet = quiet_;
    quiet_ = true;
    const adodb::Recordset* rs = datPrimaryRS->Recordset();
    const bool on = has_record(rs);
    auto value = [&](const char* f) { return on ? rs->Value(QString::fromLatin1(f)) : QVariant(); };
    txtFields[5]->setText(text_of(value("sctype")));
    txtFields[4]->setText(text_of(value("NetID")));
    txtFields[0]->setText(text_of(value("Description")));
    chkFields[1]->setChecked(on && rs->Int16(QStringLiteral("Active")) == -1);
    Text1->setText(text_of(value("Poll Time")));
    Chk_TimerDataLog->setChecked(on && rs->Int16(QStringLiteral("Poll Active")) == -1);
    record_shown_ = on;
    quiet_ = was_quiet;
}

// Stores what the user changed in the bound controls into the current record. A network ID that
// is no whole number from 0 to 255 is refused with a message and the stored one shown again.
bool Setup::store_record() {
    adodb::Recordset* rs = datPrimaryRS->Recordset();
    if (!record_shown_ || !has_record(rs)) return true;
    bool changed = false;
    auto put_text = [&](QLineEdit* box, const char* field) {
        if (box->text() != text_of(rs->Value(QString::fromLatin1(field)))) {
            rs->SetValue(QString::fromLatin1(field), box->text());
            changed = true;
        }
    };
    put_text(txtFields[5], "sctype");
    put_text(txtFields[0], "Description");

    const QString id_text = txtFields[4]->text().trimmed();
    if (id_text != text_of(rs->Value(QStringLiteral("NetID")))) {
        bool ok = true;
        const int id = id_text.isEmpty() ? 0 : id_text.toInt(&ok);
        if (!ok || id < 0 || id > 255) {
            if (changed) rs->CancelUpdate();
            ui::Beep();
            ui::MsgBox(QStringLiteral("The Scale Network ID must be a whole number from 0 to 255."),
                       ui::vbOKOnly);
            show_record();
            return false;
        }
        rs->SetValue(QStringLiteral("NetID"), id_text.isEmpty() ? QVariant() : QVariant(id));
        changed = true;
    }
    bool ok = true;
    const QVariant poll = number_of(Text1->text(), &ok);
    if (ok && Text1->text().trimmed() != text_of(rs->Value(QStringLiteral("Poll Time"))) &&
        poll != rs->Value(QStringLiteral("Poll Time"))) {
        rs->SetValue(QStringLiteral("Poll Time"), poll);
        changed = true;
    }
    auto put_check = [&](QCheckBox* box, const char* field) {
        if (box->isChecked() != (rs->Int16(QString::fromLatin1(field)) == -1)) {
            rs->SetValue(QString::fromLatin1(field), box->isChecked());
            changed = true;
        }
    };
    put_check(chkFields[1], "Active");
    put_check(Chk_TimerDataLog, "Poll Active");
    if (!changed) return true;
    // A change the record did not take (it is gone) is told, never dropped in silence.
    if (!rs->IsEditing() || !rs->Update()) {
        ui::MsgBox(rs->error());
        rs->CancelUpdate();
        show_record();
        return false;
    }
    return true;
}

void Setup::txtFields_LostFocus() {
    if (!quiet_) store_record();
}

void Setup::Command1_Click(int index) {
    adodb::Recordset* rs = datPrimaryRS->Recordset();
    if (store_record() && rs->IsOpen() && rs->RecordCount() > 0) {
        switch (index) {
        case 0:
            rs->MoveFirst();
            break;
        case 1:
            rs->MovePrevious();
            if (rs->IsBOF()) rs->MoveFirst();
            break;
        case 2:
            rs->MoveNext();
            if (rs->IsEOF()) rs->MoveLast();
            break;
        case 3:
            rs->MoveLast();
            break;
        default:
            break;
        }
        show_record();
    }
    ui::SetMousePointer(ui::vbDefault);
}

void Setup::Command2_Click() {
    adodb::Recordset* rs = datPrimaryRS->Recordset();
    if (!rs->IsOpen() || !store_record()) return;
    rs->AddNew();
    rs->SetValue(QStringLiteral("sctype"), QStringLiteral("RS485"));
    rs->SetValue(QStringLiteral("Description"), QStringLiteral("SCALE RS485"));
    rs->SetValue(QStringLiteral("SerialNo"), QString());
    ui::DoEvents();
    if (!rs->Update()) {
        ui::MsgBox(rs->error());
        rs->CancelUpdate();
        return;
    }
    const QString id = rs->Value(QStringLiteral("ID")).toString();
    ui::DoEvents();
    // The boxes still show the record before; nothing of them belongs to the new one.
    record_shown_ = false;
    refresh_records();
    ui::DoEvents();
    rs->MoveFirst();
    ui::DoEvents();
    rs->Find(QStringLiteral("ID=") + id);
    show_record();
    txtFields[4]->setFocus();
    txtFields[4]->selectAll();
}

void Setup::Command3_Click() {
    adodb::Recordset* rs = datPrimaryRS->Recordset();
    if (!has_record(rs)) return;
    ui::Beep();
    if (ui::MsgBox(QStringLiteral("Are you sure that you want to delete this record?"), ui::vbYesNo,
                   QStringLiteral("Record Deletion Request")) != ui::vbYes)
        return;
    // The edits of the record go with it.
    rs->CancelUpdate();
    if (!rs->Delete()) {
        ui::MsgBox(rs->error());
        return;
    }
    ui::DoEvents();
    sortscales();
    datPrimaryRS->Refresh();
    ui::DoEvents();
    datPrimaryRS->Refresh();
    ui::DoEvents();
    if (rs->IsOpen() && rs->RecordCount() > 0) rs->MoveFirst();
    show_record();
}
