#pragma once

// A host's menu item for hosts without a native menu bar, reached through
// the first word of the host's object: a table whose first word is the tag
// kMenuTableTag, followed by stdcall entry points, called by position with
// the item first. Positions count from the word after the tag:
//
//   0  GetCount(item) -> number of direct children
//   1  GetItem(item, index) -> child at index, 0 first
//   2  GetCaption(item, buffer, size) -> caption length; copies at most
//      size - 1 bytes and a NUL
//   3  CreateItem(item) -> a new item owned by item's owner, in no menu yet
//   4  Add(item, child)
//   5  Insert(item, index, child)
//   6  SetCaption(item, text)          text: NUL-terminated, code page 1251
//   7  SetHint(item, text)
//   8  SetHelpContext(item, value)
//   9  SetShortCut(item, value)        16-bit value in the low half
//  10  SetOnClick(item, entry, silo)   entry: SettingsClick(silo, sender)

#include "driver/win32/host_service_proxy.h"
#include "ui/menu_item.h"

namespace qmx {

// The word a host puts first in its menu-item table to say that the entries
// below follow it. Anything else is taken for a toolkit's own object, which
// the library never calls.
constexpr std::uint32_t kMenuTableTag = 0x4D584D51;  // the bytes "QMXM"

// True when `item` points to an object whose table starts with the tag. Both
// words are read under the structured-exception guard: an object of unknown
// make may lead anywhere.
bool HasMenuTableTag(void* item);

class THostMenuItem final : public TMenuItem {
public:
    // `entries` turn the click handler into the host's pair.
    THostMenuItem(void* item, TSiloEntries entries) : FItem(item), FEntries(entries) {}

    std::int32_t GetCount() override;
    std::unique_ptr<TMenuItem> GetItem(std::int32_t index) override;
    std::string Caption() override;
    std::unique_ptr<TMenuItem> CreateWithSameOwner() override;
    void Add(TMenuItem& item) override;
    void Insert(std::int32_t index, TMenuItem& item) override;
    void SetCaption(const std::string& caption) override;
    void SetHint(const std::string& hint) override;
    void SetHelpContext(std::int32_t context) override;
    void SetShortCut(std::uint16_t shortCut) override;
    void SetOnClick(TClickHandler handler) override;

    void* Host() const { return FItem; }

private:
    std::unique_ptr<TMenuItem> Wrap(void* item) const;

    void* FItem;
    TSiloEntries FEntries;
};

}  // namespace qmx
