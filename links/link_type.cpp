#include "links/link_type.h"

#include <array>
#include <utility>

#include "core/core_state.h"

namespace {
constexpr std::array<std::pair<LinkType, const char*>, 5> kNames{{{LinkType::RS232, "RS232"},
                                                                  {LinkType::RS485, "RS485"},
                                                                  {LinkType::USB, "USB"},
                                                                  {LinkType::USB485, "USB485"},
                                                                  {LinkType::Ethernet, "Ethernet"}}};
}

LinkType parse_link_type(const QString& text) {
    for (const auto& [type, name] : kNames)
        if (text == QLatin1String(name)) return type;
    return LinkType::none;
}

LinkType link_type() {
    return parse_link_type(core.comm_type);
}
