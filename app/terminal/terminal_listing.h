// What --list prints: the bridges the window offers, one line each for people, or one JSON
// object each for scripts (README.md documents its members).
#pragma once

#include <string>
#include <vector>

#include "korvel_main_form.h"

namespace korvel {

/// One bridge as the window shows it: its adapter's button, its target button's record, and
/// whether the update command is enabled when it is selected.
struct ListedBridge {
    int host = 0;
    std::string adapter;  ///< the adapter button's caption, UTF-8
    TargetRecord record;
    bool update_offered = false;
};

/// A table with a heading, one line per bridge within 80 columns; a line saying there are
/// none when empty.
std::string listing_text(const std::vector<ListedBridge>& bridges);

/// A JSON array of one object per bridge, each on a line of its own.
std::string listing_json(const std::vector<ListedBridge>& bridges);

/// The bridge's JSON object alone.
std::string bridge_json(const ListedBridge& bridge);

}  // namespace korvel
