#pragma once

// The application object the settings code relies on: it creates the
// settings form and shows message boxes. On Windows these are real windows;
// elsewhere a headless twin records them and lets a test act as the
// operator.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/tune_params_form.h"

namespace qmx {

// MessageBox flags: the stop icon and an OK button.
constexpr int kMbIconStop = 16;

class TApplication {
public:
    virtual ~TApplication() = default;
    virtual std::unique_ptr<TfmTuneParamsQX> CreateForm() = 0;
    virtual void ShowMessageBox(const std::string& text, const std::string& caption, int flags) = 0;
};

// This platform's application.
TApplication& Application();

#ifdef _WIN32
// Unregisters the dialog's window class: for the library's unload.
void UnregisterDialogClass();
#endif

#ifndef _WIN32
class THeadlessApplication final : public TApplication {
public:
    struct TMessage {
        std::string Text;
        std::string Caption;
        int Flags;
    };

    std::unique_ptr<TfmTuneParamsQX> CreateForm() override;
    void ShowMessageBox(const std::string& text, const std::string& caption, int flags) override;

    // Plays the operator while a form is shown; the form closes when it
    // returns, if it has not closed before.
    std::function<void(TfmTuneParamsQX&)> Operator;
    std::vector<TMessage> Messages;
    int FormsCreated = 0;
    int FormsAlive = 0;
};

THeadlessApplication& HeadlessApplication();
#endif

}  // namespace qmx
