// The application without a window system: forms are shown to a test that
// plays the operator, message boxes are recorded.

#include "ui/application.h"

namespace qmx {
namespace {

class THeadlessView final : public TFormView {
public:
    explicit THeadlessView(THeadlessApplication& application) : FApplication(application) {
        ++FApplication.FormsAlive;
    }
    ~THeadlessView() override { --FApplication.FormsAlive; }

    int RunModal(TfmTuneParamsQX& form) override {
        FResult = 0;
        form.FormShow(&form);
        if (FApplication.Operator) FApplication.Operator(form);
        return FResult != 0 ? FResult : kModalCancel;
    }
    void EndModal(int result) override { FResult = result; }
    void Refresh(TfmTuneParamsQX&) override {}

private:
    THeadlessApplication& FApplication;
    int FResult = 0;
};

}  // namespace

std::unique_ptr<TfmTuneParamsQX> THeadlessApplication::CreateForm() {
    ++FormsCreated;
    return std::make_unique<TfmTuneParamsQX>(std::make_unique<THeadlessView>(*this));
}

void THeadlessApplication::ShowMessageBox(const std::string& text, const std::string& caption, int flags) {
    Messages.push_back({text, caption, flags});
}

THeadlessApplication& HeadlessApplication() {
    static THeadlessApplication application;
    return application;
}

TApplication& Application() { return HeadlessApplication(); }

}  // namespace qmx
