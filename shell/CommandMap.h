#pragma once

// Where the main window's commands start: the menu bar, the main toolbar, the side panel's
// button groups, the work area's popup menu and the menu bar's link labels, in their order, with
// captions, tags, hints and shortcuts. Each entry names the command it runs; the main window
// binds command names to handlers, and an entry whose command has no handler yet stays
// disabled.

#include <vector>

#include <QString>

struct CommandEntry {
    enum class Kind { Item, Submenu, Separator };
    Kind Type = Kind::Item;
    QString Caption;
    QString Command;   // action or handler name; empty: the entry has no command
    int Tag = 0;
    QString Hint;      // the entry's own hint; empty: the command's hint (CommandHint)
    QString Shortcut;  // QKeySequence text, "" for none
    bool Bold = false;
    bool Underline = false;
    QString Colour;    // text colour name, "" for the default
    bool Checkable = false;
    bool Checked = false;
    bool Enabled = true;   // false: defined disabled, whatever is bound
    bool Visible = true;
    std::vector<CommandEntry> Children;

    // The hint shown for this entry: its own, else its command's.
    QString EffectiveHint() const;
};

struct CommandMap {
    std::vector<CommandEntry> Menus;  // top-level menus, each a Submenu entry
    std::vector<CommandEntry> Toolbar;
    std::vector<CommandEntry> HighFunc;     // page "고급기능"
    std::vector<CommandEntry> ContentFunc;  // page "고급기능"
    std::vector<CommandEntry> ResultFunc;   // page "고급기능"
    std::vector<CommandEntry> FilterFunc;   // page "필터효과"
    std::vector<CommandEntry> Popup;
    std::vector<CommandEntry> MenuLabels;   // the link labels at the right of the menu bar
};

const CommandMap& MainCommandMap();

// The hint of a command (title, "\r\n", description); empty when it has none.
QString CommandHint(const QString& command);

// The shortcuts set in code at start-up: command name and key, in order.
struct AssignedShortcut {
    QString Command;
    QString Key;
};
const std::vector<AssignedShortcut>& CodeShortcuts();
