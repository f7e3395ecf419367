#pragma once

// The host's menu items as the settings entry needs them. The host owns its
// menu; a TMenuItem here is a handle on one of its items.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/method_ref.h"

namespace qmx {

class TMenuItem;

// Called with the clicked item when the operator picks the entry.
using TClickHandler = TMethodRef<void(TMenuItem* sender)>;

class TMenuItem {
public:
    virtual ~TMenuItem() = default;

    virtual std::int32_t GetCount() = 0;
    // The direct child at `index`, 0 first.
    virtual std::unique_ptr<TMenuItem> GetItem(std::int32_t index) = 0;
    // The caption's bytes, code page 1251, exactly as the host holds them.
    virtual std::string Caption() = 0;
    // A new item owned by this item's owner, not yet placed in any menu.
    virtual std::unique_ptr<TMenuItem> CreateWithSameOwner() = 0;
    virtual void Add(TMenuItem& item) = 0;
    virtual void Insert(std::int32_t index, TMenuItem& item) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetHint(const std::string& hint) = 0;
    virtual void SetHelpContext(std::int32_t context) = 0;
    virtual void SetShortCut(std::uint16_t shortCut) = 0;
    virtual void SetOnClick(TClickHandler handler) = 0;
};

}  // namespace qmx
