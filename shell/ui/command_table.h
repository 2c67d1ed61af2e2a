// The menu, toolbar and accelerator resource of the main frame: every command with its id, the name of
// its action, its menu caption, its status-bar prompt and tool tip, its icon and key.
#pragma once

#include <vector>

namespace command_id {
// The framework's own commands.
constexpr int kAppAbout = 57664;
constexpr int kAppExit = 57665;
constexpr int kHelpIndex = 57667; // Help Topics
constexpr int kContextHelp = 57669;
constexpr int kHelp = 57670;
constexpr int kViewToolbar = 59392;
constexpr int kViewStatusBar = 59393;
} // namespace command_id

struct CommandEntry {
    int id;
    const char* objectName; // the action's objectName
    const char* menuText;   // "&" marks the mnemonic
    const char* prompt;     // status-bar prompt, then "\n" and the tool tip
    const char* icon;       // resource path of the toolbar icon, or nullptr
    const char* shortcut;   // key sequence, or nullptr
};

// Every command, menus' and toolbar's alike.
const std::vector<CommandEntry>& CommandTable();
const CommandEntry* FindCommand(int id);

// A menu: its caption and its command ids, 0 for a separator.
struct MenuEntry {
    const char* caption;
    std::vector<int> items;
};
const std::vector<MenuEntry>& MenuTable();
// The toolbar's buttons from left to right, 0 for a separator.
const std::vector<int>& ToolbarTable();
