// Data collection on the scale screen (placeholder until it lands).
#include "screen/form1.h"

void form1::connect_data_collection() {}
void form1::sortdatacol() {}
void form1::btn_dataLogAll_Click() {}
void form1::btn_LogData_Click() {}
void form1::Command2_Click() {}
void form1::Check1_Click() {}
void form1::Timer5_Timer(int index) { (void)index; }
void form1::Data_collect() {}
void form1::DataGrid1_refresh_count() {}
