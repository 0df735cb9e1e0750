#include "links/link_type.h"

#include "core/core_state.h"
#include "core/syscfg.h"

LinkType parse_link_type(const QString& text) {
    // The enum lists the types in the order of kCommTypeNames, after none.
    for (size_t i = 0; i < kCommTypeNames.size(); ++i)
        if (text == QLatin1String(kCommTypeNames[i])) return static_cast<LinkType>(i + 1);
    return LinkType::none;
}

LinkType link_type() {
    return parse_link_type(core.comm_type);
}
