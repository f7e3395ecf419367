#include "fake_menu.h"

#include <cstring>

namespace qmx::abi {
namespace {

TWord __stdcall GetCount(TFakeMenuItem* self) { return static_cast<TWord>(self->Children.size()); }

TWord __stdcall GetItem(TFakeMenuItem* self, TWord index) {
    return index < self->Children.size() ? Word(self->Children[index]) : 0;
}

TWord __stdcall GetCaption(TFakeMenuItem* self, char* buffer, TWord size) {
    if (size != 0) {
        const std::size_t copied = self->Caption.size() < size ? self->Caption.size() : size - 1;
        std::memcpy(buffer, self->Caption.data(), copied);
        buffer[copied] = '\0';
    }
    return static_cast<TWord>(self->Caption.size());
}

TWord __stdcall CreateItem(TFakeMenuItem* self) {
    self->Calls.push_back("CreateItem");
    return Word(NewMenuItem(self->Owner));
}

void __stdcall Add(TFakeMenuItem* self, TFakeMenuItem* child) {
    self->Calls.push_back("Add");
    self->Children.push_back(child);
}

void __stdcall Insert(TFakeMenuItem* self, TWord index, TFakeMenuItem* child) {
    self->Calls.push_back("Insert(" + std::to_string(index) + ")");
    self->Children.insert(self->Children.begin() + index, child);
}

void __stdcall SetCaption(TFakeMenuItem* self, const char* text) {
    self->Calls.push_back("SetCaption");
    self->Caption = text;
}

void __stdcall SetHint(TFakeMenuItem* self, const char* text) {
    self->Calls.push_back("SetHint");
    self->Hint = text;
}

void __stdcall SetHelpContext(TFakeMenuItem* self, TWord value) {
    self->Calls.push_back("SetHelpContext");
    self->HelpContext = value;
}

void __stdcall SetShortCut(TFakeMenuItem* self, TWord value) {
    self->Calls.push_back("SetShortCut");
    self->ShortCut = value;
}

void __stdcall SetOnClick(TFakeMenuItem* self, TWord entry, TWord object) {
    self->Calls.push_back("SetOnClick");
    self->ClickEntry = entry;
    self->ClickObject = object;
}

// The tag word first: the table is the one the DLL documents.
void* const* MenuTable() {
    static void* const table[] = {
        reinterpret_cast<void*>(static_cast<std::uintptr_t>(kMenuTableTag)),
        reinterpret_cast<void*>(&GetCount),    reinterpret_cast<void*>(&GetItem),
        reinterpret_cast<void*>(&GetCaption),  reinterpret_cast<void*>(&CreateItem),
        reinterpret_cast<void*>(&Add),         reinterpret_cast<void*>(&Insert),
        reinterpret_cast<void*>(&SetCaption),  reinterpret_cast<void*>(&SetHint),
        reinterpret_cast<void*>(&SetHelpContext), reinterpret_cast<void*>(&SetShortCut),
        reinterpret_cast<void*>(&SetOnClick),
    };
    return table;
}

}  // namespace

TFakeMenuItem::TFakeMenuItem() : Table(MenuTable()) {}

TFakeMenuItem* TFakeMenuItem::AddChild(const std::string& caption) {
    TFakeMenuItem* child = NewMenuItem(Owner);
    child->Caption = caption;
    Children.push_back(child);
    return child;
}

std::vector<std::unique_ptr<TFakeMenuItem>>& MenuItems() {
    static std::vector<std::unique_ptr<TFakeMenuItem>> items;
    return items;
}

TFakeMenuItem* NewMenuItem(int owner) {
    MenuItems().push_back(std::make_unique<TFakeMenuItem>());
    MenuItems().back()->Owner = owner;
    return MenuItems().back().get();
}

}  // namespace qmx::abi
