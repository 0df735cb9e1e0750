#pragma once
// The about box: the program's version, a contact list, the maker's labels and a button that
// starts the system-information tool registered in the registry.
#include <QString>
#include <array>
#include <functional>

#include "platform/registry/registry.h"
#include "platform/ui/form.h"

class QLabel;
class QPushButton;
class QImage;

class frmAbout : public ui::Form {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* owner = nullptr);

    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
    QLabel* Picture1 = nullptr;
    std::array<QLabel*, 1> Label1{}; // element 0: the version line
    QLabel* lblTitle = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QLabel* lblCompany = nullptr;
    QLabel* lblAddress = nullptr;
    QLabel* lblPhone = nullptr;
    QLabel* lblCopyright = nullptr;

    void cmdOK_Click();
    void cmdSysInfo_Click();
    void StartSysInfo();
    // Reads one registry value as text; true when it was read.
    static bool GetKeyValue(registry::HKEY KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                            QString& KeyVal);

    // Starts a program detached; true when it started. Tests replace it.
    static std::function<bool(const QString& program)> launcher;

    static QString version_text();
    static QString contact_list();
    // The 128 x 64 monochrome logo.
    static QImage logo();

protected:
    void build() override;
    void Form_Load() override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    bool built_ = false;
};
