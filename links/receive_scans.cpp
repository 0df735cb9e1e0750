// Receive scans of the scale screen (placeholder until they land).
#include "screen/form1.h"

void form1::rs232_inputscan() {}
void form1::rs485_inputscan() {}
void form1::USB_inputscan() {}
void form1::USB485_inputscan() {}
