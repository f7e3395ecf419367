// The silo's settings: the entry in the host's settings menu, the dialog it
// opens, and the switch of the running silo to another connection.

#include <atomic>
#include <utility>

#include "driver/config_file.h"
#include "driver/connection.h"
#include "driver/live_silos.h"
#include "driver/silo.h"
#include "driver/silo_metrics.h"
#include "ui/application.h"

namespace qmx {
namespace {

constexpr char kEntryCaption[] = "Настройка уровнемера Quelmarox4 ";
constexpr char kEntryHint[] = "Настройка Quelmarox4";
constexpr char kErrorCaption[] = "Ошибка";
constexpr char kPortFailed[] = "Невозможно открыть порт COM для уровнемера!";
constexpr char kSwitchFailed[] = "Невозможно задать конфигурацию БС!";

}  // namespace

std::unique_ptr<TMenuItem> AddMenuItem(const std::string& caption, const std::string& hint,
                                       std::int32_t helpContext, std::uint16_t shortCut,
                                       TClickHandler onClick, TMenuItem& parent, std::int32_t position) {
    auto item = parent.CreateWithSameOwner();
    if (position < 0)
        parent.Add(*item);
    else
        parent.Insert(position, *item);
    item->SetCaption(caption);
    item->SetHint(hint);
    item->SetHelpContext(helpContext);
    item->SetShortCut(shortCut);
    item->SetOnClick(onClick);
    return item;
}

std::string TSilo::MenuCaption() const {
    const std::uint8_t type = FConnectionType;
    const std::string suffix = IsCommBlock(type) ? "(БС №" + std::to_string(type + 1) + ")"
                                                 : "(COM №" + std::to_string(PortNumberOf(type)) + ")";
    return kEntryCaption + suffix;
}

bool TSilo::TakeMenuOffer() { return std::exchange(FMenuPending, false); }

void TSilo::InstallMenu(TMenuItem* menuItem, std::int32_t /*ignored*/) {
    if (!TakeMenuOffer() || menuItem == nullptr) return;
    const std::int32_t count = menuItem->GetCount();
    for (std::int32_t i = 0; i < count; ++i) {
        auto child = menuItem->GetItem(i);
        if (child == nullptr || child->Caption() != kSettingsMenuCaption) continue;
        AddMenuItem(MenuCaption(), kEntryHint, 0, 0, TReachSilo<&TSilo::SettingsClick>::Bound(this), *child, -1);
        return;
    }
}

void TSilo::SettingsClick(TMenuItem* /*sender*/) {
    // A modal dialog disables the host's windows, yet a click can still come
    // in from the host's own code or a message already queued; a second
    // dialog on top of the first would edit the same file and silo twice.
    static std::atomic<bool> dialogOpen{false};
    if (dialogOpen.exchange(true)) return;
    struct TClosed {
        ~TClosed() { dialogOpen = false; }
    } closed;
    std::unique_ptr<TfmTuneParamsQX> form = Application().CreateForm();
    form->FSilo = this;
    form->ShowModal();
}

void TSilo::StoreConnectionType(std::int32_t connectionType) { WriteConfiguredConnectionType(connectionType); }

void TSilo::SetConnectionType(std::int32_t connectionType) {
    const auto type = static_cast<std::uint8_t>(connectionType);
    if (type == FConnectionType || SwitchConnection(type)) return;
    // Shown once the lock has been left.
    try {
        Application().ShowMessageBox(kSwitchFailed, kErrorCaption, kMbIconStop);
    } catch (...) {
    }
}

bool TSilo::SwitchConnection(std::uint8_t type) {
    TLockGuard guard(FLock);
    try {
        ReleasePort();
        FConnectionType = type;
        if (FMetrics) FMetrics->SwitchedTo(ConnectionName(type));
        if (IsCommBlock(type))
            SetupCommBlock(1);
        else
            OpenPortOrReport(type);
        return true;
    } catch (...) {
        return false;
    }
}

void TSilo::ReleasePort() {
    if (IsCommBlock(FConnectionType)) return;
    // The reference is cleared before the port goes.
    std::unique_ptr<TFramedPort> old = std::move(FPort);
    old.reset();
}

void TSilo::OpenPortOrReport(std::uint8_t type) {
    try {
        FPort = FOpenPort != nullptr ? FOpenPort(PortNumberOf(type)) : nullptr;
    } catch (...) {
        FPort.reset();
        // Shown while the lock is held: host calls on this thread during the
        // message box enter it again.
        Application().ShowMessageBox(kPortFailed, kErrorCaption, kMbIconStop);
    }
}

}  // namespace qmx
