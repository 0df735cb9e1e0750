#pragma once
// Checks that a reading display shows every reading text a scale can send whole: drawn in the
// face the machine is expected to have, no wider than the label.
#include <QFontInfo>
#include <QFontMetricsF>
#include <QtTest>

#include "platform/ui/fitting_label.h"

namespace testsupport {

// The widest texts of up to 16 characters a scale sends, with blanks, sign, units and flags.
inline const QStringList& widest_readings() {
    static const QStringList texts = {"  -1234.5 lb G", "#1 1000.3", "  1234.5 kg", "-888888.8 kg GMW"};
    return texts;
}

inline void verify_readings_fit(ui::FittingLabel* label, const QString& face) {
    const QString design = label->text();
    for (const QString& reading : widest_readings()) {
        label->setText(reading);
        const QFont shown = label->shownFont();
        QCOMPARE(QFontInfo(shown).family(), face);
        QVERIFY2(QFontMetricsF(shown).horizontalAdvance(reading) <= label->contentsRect().width(),
                 qPrintable(reading));
        QVERIFY(shown.pointSizeF() <= label->font().pointSizeF());
    }
    label->setText(design);
}

} // namespace testsupport
