#include "links/links_state.h"

#include <algorithm>

LinksState links;

void reset_links_state() {
    links = LinksState();
}

int filled_slots() {
    return std::clamp<int>(links.scale_count, 0, kScaleSlots);
}
