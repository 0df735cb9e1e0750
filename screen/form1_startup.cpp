// Start-up and shutdown of the scale screen (placeholder until the screen's set-up lands).
#include "screen/form1.h"

void form1::Form_Load() {}
void form1::Form_Activate() {}
void form1::Form_Unload(int& cancel) { (void)cancel; }
void form1::adddefrec(int i) { (void)i; }
void form1::Command1_Click() { Unload(); }
