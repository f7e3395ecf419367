#pragma once

// A host's menu, played by position: items whose first word points to the
// menu-item table the DLL documents (the tag, then GetCount, GetItem,
// GetCaption, CreateItem, Add, Insert, SetCaption, SetHint, SetHelpContext,
// SetShortCut, SetOnClick), kept as a tree in memory.

#include <memory>
#include <string>
#include <vector>

#include "dll_calls.h"

namespace qmx::abi {

// The first word of a menu-item table the DLL may call.
constexpr TWord kMenuTableTag = 0x4D584D51;

struct TFakeMenuItem {
    TFakeMenuItem();
    void* const* Table;  // must stay the first word
    std::string Caption;
    std::string Hint;
    int Owner = 0;
    TWord HelpContext = 0xFFFFFFFF;
    TWord ShortCut = 0xFFFFFFFF;
    TWord ClickEntry = 0;
    TWord ClickObject = 0;
    std::vector<TFakeMenuItem*> Children;
    std::vector<std::string> Calls;

    TFakeMenuItem* AddChild(const std::string& caption);
};

// Owns every item made, the host's and the ones the DLL asks for.
std::vector<std::unique_ptr<TFakeMenuItem>>& MenuItems();
TFakeMenuItem* NewMenuItem(int owner);

}  // namespace qmx::abi
