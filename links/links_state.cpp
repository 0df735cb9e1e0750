#include "links/links_state.h"

LinksState links;

void reset_links_state() {
    links = LinksState();
}
