// Scale selection, views and the network list (placeholder until they land).
#include "screen/form1.h"

void form1::connect_handlers() { connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); }); }
void form1::Combo1_Click() {}
void form1::chk_pollenb_Click() {}
void form1::opt_none_Click() {}
void form1::opt_datacol_Click() {}
void form1::opt_netscan_Click() {}
void form1::opt_grp_Click() {}
void form1::opt_desc_Click() {}
void form1::opt_datetime_Click() {}
void form1::opt_ID_Click() {}
void form1::fillgrid() {}
void form1::NetList_row_select() {}
