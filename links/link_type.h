#pragma once
// The communication type as the code acts on it. The settings row stores it as text, and the
// text is what the user sees (core.comm_type, captions, the Setup dialog); every decision of the
// links and the screen goes through the parsed value instead of comparing that text.
#include <QString>

enum class LinkType { none, RS232, RS485, USB, USB485, Ethernet };
static_assert(static_cast<int>(LinkType::Ethernet) == 5,
              "one value per name of kCommTypeNames, in its order");

// The link that `text` names, exactly as the settings row stores it ("RS232", "RS485", "USB",
// "USB485", "Ethernet"); none for any other text.
LinkType parse_link_type(const QString& text);

// The link of the settings row in force: parse_link_type(core.comm_type).
LinkType link_type();
