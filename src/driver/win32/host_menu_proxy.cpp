#include "driver/win32/host_menu_proxy.h"

#include <vector>

#include "driver/win32/host_calls.h"

namespace qmx {
namespace {

// Positions in the host's table; the tag stands at 0.
enum TMenuSlot : int {
    kGetCount = 1,
    kGetItem,
    kGetCaption,
    kCreateItem,
    kAdd,
    kInsert,
    kSetCaption,
    kSetHint,
    kSetHelpContext,
    kSetShortCut,
    kSetOnClick,
};

void* Pointer(TWord word) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(word)); }

void* HostItem(TMenuItem& item) {
    // Items the settings code places are the ones this proxy made.
    return static_cast<THostMenuItem&>(item).Host();
}

struct TTagRead {
    void* Item;
    bool Tagged;
};

void ReadTag(void* context) {
    auto& read = *static_cast<TTagRead*>(context);
    const auto* table = *static_cast<const std::uint32_t* const*>(read.Item);
    read.Tagged = table != nullptr && table[0] == kMenuTableTag;
}

}  // namespace

bool HasMenuTableTag(void* item) {
    if (item == nullptr) return false;
    TTagRead read{item, false};
    THostFault fault;
    return RunGuarded(&ReadTag, &read, fault) && read.Tagged;
}

std::unique_ptr<TMenuItem> THostMenuItem::Wrap(void* item) const {
    if (item == nullptr) return nullptr;
    return std::make_unique<THostMenuItem>(item, FEntries);
}

std::int32_t THostMenuItem::GetCount() {
    return static_cast<std::int32_t>(CallSlot<0>(FItem, kGetCount, {}));
}

std::unique_ptr<TMenuItem> THostMenuItem::GetItem(std::int32_t index) {
    return Wrap(Pointer(CallSlot<1>(FItem, kGetItem, {static_cast<TWord>(index)})));
}

std::string THostMenuItem::Caption() {
    std::vector<char> buffer(256);
    for (;;) {
        const TWord length = CallSlot<2>(FItem, kGetCaption, {Word(buffer.data()), static_cast<TWord>(buffer.size())});
        if (length < buffer.size()) return std::string(buffer.data(), length);
        if (length > 65536) return std::string();  // not a caption
        buffer.assign(length + 1, '\0');
    }
}

std::unique_ptr<TMenuItem> THostMenuItem::CreateWithSameOwner() {
    return Wrap(Pointer(CallSlot<0>(FItem, kCreateItem, {})));
}

void THostMenuItem::Add(TMenuItem& item) { CallSlot<1>(FItem, kAdd, {Word(HostItem(item))}); }

void THostMenuItem::Insert(std::int32_t index, TMenuItem& item) {
    CallSlot<2>(FItem, kInsert, {static_cast<TWord>(index), Word(HostItem(item))});
}

void THostMenuItem::SetCaption(const std::string& caption) {
    CallSlot<1>(FItem, kSetCaption, {Word(caption.c_str())});
}

void THostMenuItem::SetHint(const std::string& hint) { CallSlot<1>(FItem, kSetHint, {Word(hint.c_str())}); }

void THostMenuItem::SetHelpContext(std::int32_t context) {
    CallSlot<1>(FItem, kSetHelpContext, {static_cast<TWord>(context)});
}

void THostMenuItem::SetShortCut(std::uint16_t shortCut) { CallSlot<1>(FItem, kSetShortCut, {shortCut}); }

void THostMenuItem::SetOnClick(TClickHandler handler) {
    const THostPair pair = FEntries.HostPair(handler);
    CallSlot<2>(FItem, kSetOnClick, {pair.Entry, pair.Object});
}

}  // namespace qmx
