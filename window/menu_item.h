// An entry of a menu the behaviour offers (the window's right-click menu): the toolkit shows
// the entries and gives back the command of the one chosen.
#pragma once

#include <string>
#include <vector>

namespace kinetra::window {

struct MenuItem {
    enum class Kind { kCommand, kSeparator, kSubmenu };
    Kind kind = Kind::kCommand;
    std::string text;        // UTF-8, '&' before the access key
    std::string objectName;  // a name tests and accessibility tools find it by
    std::string command;     // what RunMenuCommand is given when it is chosen; empty: none
    bool checkable = false;
    bool checked = false;
    bool enabled = true;
    bool exclusive = false;       // a submenu whose checkable entries are one choice
    std::vector<MenuItem> items;  // of a submenu
    std::string iconName;         // an icon theme's name shown beside the text; empty: none

    static MenuItem Separator() {
        MenuItem item;
        item.kind = Kind::kSeparator;
        return item;
    }
};

}  // namespace kinetra::window
