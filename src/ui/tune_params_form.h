#pragma once

// TfmTuneParamsQX (unit uTuneParams): the connection dialog. Its components
// hold the state the operator sees; its handlers are the dialog's logic; a
// view (a real window, or none in the tests) shows it and feeds it the
// operator's actions.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/connection_setting.h"

namespace qmx {

class TfmTuneParamsQX;

struct TControl {
    const char* Name;
    int Left, Top, Width, Height;
    std::string Caption;
    bool Enabled = true;
};

struct TComboBox : TControl {
    std::vector<std::string> Items;
    int ItemIndex = -1;  // -1: no entry selected
};

struct TBitBtn : TControl {
    bool Default = false;  // answers Enter
    bool Cancel = false;   // answers Esc
};

// What shows the form: a window, or nothing.
class TFormView {
public:
    virtual ~TFormView() = default;
    // Shows the form until it is closed; returns the modal result.
    virtual int RunModal(TfmTuneParamsQX& form) = 0;
    virtual void EndModal(int result) = 0;
    // The components changed: show them as they now stand.
    virtual void Refresh(TfmTuneParamsQX& form) = 0;
};

constexpr int kModalCancel = 2;

class TfmTuneParamsQX {
public:
    explicit TfmTuneParamsQX(std::unique_ptr<TFormView> view);

    // Components, in declaration order.
    TBitBtn bbtCancel;
    TControl pgTuneParamsQX;
    TControl tsOther;
    TComboBox cbConnetionType;
    TControl Label17;
    TBitBtn bbtSave;

    // The silo whose connection the dialog edits; not owned.
    TConnectionSetting* FSilo = nullptr;

    // Handlers.
    void FormShow(void* sender);
    void seCriticalTimeChange(void* sender);
    void bbtSaveClick(void* sender);
    void bbtCancelClick(void* sender);

    int ShowModal();
    void Close();

    // The form's caption and client size, from its stored layout.
    static const char* Caption();
    static constexpr int kClientWidth = 358;
    static constexpr int kClientHeight = 106;
    static constexpr int kFontHeight = 11;
    static const char* FontName() { return "MS Sans Serif"; }

    // What the operator does, as a view reports it.
    void OperatorSelects(int index);  // a new selection in the list
    void OperatorPressesEnter();      // the default button, when enabled
    void OperatorClicksSave();
    void OperatorPressesEsc();        // the cancel button, visible or not

private:
    std::unique_ptr<TFormView> FView;
};

// The connection list: its position is the connection type it selects.
const std::vector<std::string>& ConnectionEntries();

}  // namespace qmx
