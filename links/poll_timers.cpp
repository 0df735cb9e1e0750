// Poll timers and operating modes of the scale screen (placeholder until they land).
#include "screen/form1.h"

void form1::connect_poll_timers() {}
void form1::Timer1_Timer(int index) { (void)index; }
void form1::Timer2_Timer() {}
void form1::Timer3_Timer() {}
void form1::Timer4_Timer() {}
void form1::setmode(int16_t mode) { (void)mode; }
void form1::opt_network_Click() {}
void form1::opt_single_Click() {}
void form1::halttimers() {}
void form1::net_stat_get() {}
void form1::net_stat_put() {}
void form1::formactivate() {}
