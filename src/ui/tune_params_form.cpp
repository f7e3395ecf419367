#include "ui/tune_params_form.h"

namespace qmx {

const std::vector<std::string>& ConnectionEntries() {
    static const std::vector<std::string> entries = {
        "Блок связи №1", "Блок связи №2", "Блок связи №3", "Порт COM1", "Порт COM2", "Порт COM3",
        "Порт COM4",     "Порт COM5",     "Порт COM6",     "Порт COM7", "Порт COM8", "",
    };
    return entries;
}

const char* TfmTuneParamsQX::Caption() { return "Параметры уровнемера Зорна"; }

// The stored layout: positions in pixels at 96 pixels per inch; the
// controls of the tab sheet are placed in its client area.
TfmTuneParamsQX::TfmTuneParamsQX(std::unique_ptr<TFormView> view)
    : bbtCancel{{"bbtCancel", 280, 696, 89, 25, "Отмена"}, false, true},
      pgTuneParamsQX{"pgTuneParamsQX", 0, 0, kClientWidth, kClientHeight, ""},
      tsOther{"tsOther", 0, 0, 0, 0, "Настройки драйвера"},
      cbConnetionType{{"cbConnetionType", 195, 13, 145, 21, ""}, ConnectionEntries(), -1},
      Label17{"Label17", 88, 16, 110, 13, "Зорна подключена к:"},
      bbtSave{{"bbtSave", 247, 48, 89, 25, "Сохранить", false}, true, false},
      FView(std::move(view)) {}

void TfmTuneParamsQX::FormShow(void* /*sender*/) {
    const int type = FSilo != nullptr ? FSilo->ConnectionType() : -1;
    // A type beyond the list selects nothing.
    cbConnetionType.ItemIndex = type >= 0 && type < static_cast<int>(cbConnetionType.Items.size()) ? type : -1;
    bbtSave.Enabled = false;
}

void TfmTuneParamsQX::seCriticalTimeChange(void* /*sender*/) { bbtSave.Enabled = true; }

void TfmTuneParamsQX::bbtSaveClick(void* /*sender*/) {
    const int selected = cbConnetionType.ItemIndex;
    if (selected < 0 || FSilo == nullptr) return;
    FSilo->StoreConnectionType(selected);
    FSilo->SetConnectionType(selected);
    bbtSave.Enabled = false;
}

void TfmTuneParamsQX::bbtCancelClick(void* /*sender*/) { Close(); }

int TfmTuneParamsQX::ShowModal() { return FView->RunModal(*this); }

void TfmTuneParamsQX::Close() { FView->EndModal(kModalCancel); }

void TfmTuneParamsQX::OperatorSelects(int index) {
    if (index < 0 || index >= static_cast<int>(cbConnetionType.Items.size())) return;
    cbConnetionType.ItemIndex = index;
    seCriticalTimeChange(&cbConnetionType);
    FView->Refresh(*this);
}

void TfmTuneParamsQX::OperatorPressesEnter() {
    if (bbtSave.Default) OperatorClicksSave();
}

void TfmTuneParamsQX::OperatorClicksSave() {
    if (!bbtSave.Enabled) return;
    bbtSaveClick(&bbtSave);
    FView->Refresh(*this);
}

void TfmTuneParamsQX::OperatorPressesEsc() {
    if (bbtCancel.Cancel) bbtCancelClick(&bbtCancel);
}

}  // namespace qmx
