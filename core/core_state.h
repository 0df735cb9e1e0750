#pragma once
// Module-level state of the application core: the data folder and connection strings, the
// settings row as loaded by load_syscfg, the shared word list of the splitters and the guard of
// the scale screen. One instance for the whole run.
#include <QString>
#include <array>
#include <cstdint>

class frmMain;

struct CoreState {
    // Folder of the running program (where cfg.txt, the compacted zqdata.mdb and sccfg.mdb
    // live). Empty means the executable's folder; tests point it at a temporary folder.
    QString app_path_override;

    QString data_path;
    QString conn_str;
    QString conn_str_a;
    frmMain* main_form = nullptr;
    bool scale_screen_active = false;

    // Settings row of syscfg.
    QString comm_type;
    QString comm_settings = QStringLiteral("9600,N,8,1");
    int16_t comm_port = 0;
    int16_t rf_net = 0;
    int16_t small_fonts = 0;
    QString rf_net_id;
    int16_t tag_blz = 0;
    double net_poll_time = 0.33;
    double net_del_time = 0.01;
    int16_t usb_reset_count = 0;

    // Word list of parse_words / parse_tab_fields.
    std::array<QString, 101> word;
    int16_t word_count = 0;
};

extern CoreState core;

// Puts every value back to its state at program start.
void reset_core_state();

// The program's own folder, without a trailing separator.
QString app_path();
