#include "collect/collect_state.h"

CollectState collect;

void reset_collect_state() {
    collect = CollectState();
}
