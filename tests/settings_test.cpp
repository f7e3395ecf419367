// The settings entry, the connection dialog and the switch of a running
// silo, with the headless application playing the operator.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "driver/config_file.h"
#include "driver/silo.h"
#include "platform/profile_file.h"
#include "support/fake_menu.h"
#include "support/fake_port.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "ui/application.h"

namespace qmx {
namespace {

using test::TFakeMenuItem;
using test::TFakePorts;
using test::TMenuNode;
using test::TRecordingHost;

// Fresh headless application state for every test.
class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        auto& application = HeadlessApplication();
        application.Operator = nullptr;
        application.Messages.clear();
        TFakePorts::Reset();
    }
    void TearDown() override { SetUp(); }

    static std::vector<std::string> MessageTexts() {
        std::vector<std::string> texts;
        for (const auto& message : HeadlessApplication().Messages) {
            EXPECT_EQ(message.Caption, "Ошибка");
            EXPECT_EQ(message.Flags, 16);
            texts.push_back(message.Text);
        }
        return texts;
    }
};

// A host menu: a main menu whose children are the top-level items.
std::shared_ptr<TMenuNode> MainMenu(std::initializer_list<const char*> captions) {
    auto root = std::make_shared<TMenuNode>();
    root->Owner = 7;
    for (const char* caption : captions) root->AddChild(caption);
    return root;
}

TEST_F(Settings, InstallMenuAddsTheEntryUnderTheExactSettingsItem) {
    struct TCase {
        std::uint8_t Type;
        const char* Suffix;
    };
    const TCase cases[] = {{0, "(БС №1)"}, {2, "(БС №3)"}, {3, "(COM №1)"}, {10, "(COM №8)"}, {255, "(COM №253)"}};
    for (const auto& c : cases) {
        auto root = MainMenu({"&Файл", "&Настройка", "&Справка"});
        TSilo silo(c.Type, nullptr, nullptr);
        TFakeMenuItem menu(root);
        silo.InstallMenu(&menu, 0);
        const auto& settings = root->Children[1];
        ASSERT_EQ(settings->Children.size(), 1u) << int(c.Type);
        const auto& entry = settings->Children[0];
        EXPECT_EQ(entry->Caption, std::string("Настройка уровнемера Quelmarox4 ") + c.Suffix);
        EXPECT_EQ(entry->Hint, "Настройка Quelmarox4");
        EXPECT_EQ(entry->HelpContext, 0);
        EXPECT_EQ(entry->ShortCut, 0);
        EXPECT_EQ(entry->OnClick.Object(), &silo);
        EXPECT_EQ(entry->Calls, (std::vector<std::string>{"Create(owner 7)", "SetCaption", "SetHint", "SetHelpContext",
                                                          "SetShortCut", "SetOnClick"}));
        EXPECT_EQ(settings->Calls, (std::vector<std::string>{"Add"}));
        EXPECT_FALSE(silo.TakeMenuOffer()) << "the offer is taken";
        EXPECT_TRUE(root->Children[0]->Children.empty());
    }
}

TEST_F(Settings, InstallMenuFindsOnlyTheExactCaptionAmongDirectChildrenAndOnlyOnce) {
    {
        // Without the ampersand, in another case, or deeper down: no entry.
        auto root = MainMenu({"Настройка", "&НАСТРОЙКА", "Сервис"});
        root->Children[2]->AddChild("&Настройка");
        TSilo silo(0, nullptr);
        TFakeMenuItem menu(root);
        silo.InstallMenu(&menu, 0);
        for (const auto& child : root->Children) EXPECT_LE(child->Children.size(), 1u);
        EXPECT_TRUE(root->Children[0]->Children.empty());
        EXPECT_TRUE(root->Children[1]->Children.empty());
        EXPECT_TRUE(root->Children[2]->Children[0]->Children.empty());
        EXPECT_FALSE(silo.TakeMenuOffer()) << "the offer is taken";
        // Not offered again, even to a menu that has the item now.
        auto good = MainMenu({"&Настройка"});
        TFakeMenuItem second(good);
        silo.InstallMenu(&second, 0);
        EXPECT_TRUE(good->Children[0]->Children.empty());
    }
    {
        auto root = MainMenu({"&Настройка", "&Настройка"});
        TSilo silo(1, nullptr);
        TFakeMenuItem menu(root);
        silo.InstallMenu(&menu, 0);
        silo.InstallMenu(&menu, 0);
        EXPECT_EQ(root->Children[0]->Children.size(), 1u) << "the first receives the entry, once";
        EXPECT_TRUE(root->Children[1]->Children.empty());
    }
    {
        TSilo silo(1, nullptr);
        silo.InstallMenu(nullptr, 0);
        EXPECT_FALSE(silo.TakeMenuOffer()) << "the offer is taken";
    }
}

TEST_F(Settings, DialogShowsTheCurrentTypeWithSaveDisabledUntilTheOperatorChanges) {
    struct TCase {
        std::uint8_t Type;
        int Selected;
    };
    for (const TCase& c : {TCase{0, 0}, TCase{5, 5}, TCase{11, 11}, TCase{12, -1}, TCase{200, -1}}) {
        TSilo silo(c.Type, nullptr, nullptr);
        bool seen = false;
        HeadlessApplication().Operator = [&](TfmTuneParamsQX& form) {
            seen = true;
            EXPECT_EQ(form.cbConnetionType.ItemIndex, c.Selected);
            EXPECT_FALSE(form.bbtSave.Enabled);
            form.OperatorPressesEnter();  // nothing: Save is disabled
            EXPECT_EQ(silo.ConnectionType(), c.Type);
            form.OperatorPressesEsc();
        };
        const int created = HeadlessApplication().FormsCreated;
        silo.SettingsClick(nullptr);
        EXPECT_TRUE(seen);
        EXPECT_EQ(HeadlessApplication().FormsCreated, created + 1);
        EXPECT_EQ(HeadlessApplication().FormsAlive, 0) << "the form is gone when the dialog closes";
    }
}

TEST_F(Settings, AClickWhileADialogIsOpenOpensNoOther) {
    TSilo silo(0, nullptr, nullptr);
    TSilo other(1, nullptr, nullptr);
    for (TSilo* second : {&silo, &other}) {
        const int created = HeadlessApplication().FormsCreated;
        int shown = 0;
        HeadlessApplication().Operator = [&](TfmTuneParamsQX& form) {
            ++shown;
            second->SettingsClick(nullptr);  // the host's own code, or a queued click
            EXPECT_EQ(HeadlessApplication().FormsAlive, 1);
            form.OperatorPressesEsc();
        };
        silo.SettingsClick(nullptr);
        EXPECT_EQ(shown, 1);
        EXPECT_EQ(HeadlessApplication().FormsCreated, created + 1);
        // Closed, the dialog opens again.
        HeadlessApplication().Operator = [&](TfmTuneParamsQX& form) { form.OperatorPressesEsc(); };
        second->SettingsClick(nullptr);
        EXPECT_EQ(HeadlessApplication().FormsCreated, created + 2);
    }
}

TEST_F(Settings, DialogLayoutAndEntries) {
    TSilo silo(0, nullptr);
    HeadlessApplication().Operator = [](TfmTuneParamsQX& form) {
        EXPECT_STREQ(TfmTuneParamsQX::Caption(), "Параметры уровнемера Зорна");
        EXPECT_EQ(form.tsOther.Caption, "Настройки драйвера");
        EXPECT_EQ(form.Label17.Caption, "Зорна подключена к:");
        EXPECT_EQ(form.bbtSave.Caption, "Сохранить");
        EXPECT_TRUE(form.bbtSave.Default);
        EXPECT_EQ(form.bbtCancel.Caption, "Отмена");
        EXPECT_TRUE(form.bbtCancel.Cancel);
        EXPECT_GT(form.bbtCancel.Top, TfmTuneParamsQX::kClientHeight) << "Cancel lies below the client area";
        ASSERT_EQ(form.cbConnetionType.Items.size(), 12u);
        EXPECT_EQ(form.cbConnetionType.Items[0], "Блок связи №1");
        EXPECT_EQ(form.cbConnetionType.Items[3], "Порт COM1");
        EXPECT_EQ(form.cbConnetionType.Items[10], "Порт COM8");
        EXPECT_EQ(form.cbConnetionType.Items[11], "");
    };
    silo.SettingsClick(nullptr);
}

TEST_F(Settings, SwitchMatrix) {
    TRecordingHost host;
    TSilo silo(1, &host, test::OpenFakePort);
    // block to block
    silo.SetConnectionType(2);
    EXPECT_EQ(silo.ConnectionType(), 2);
    EXPECT_EQ(host.Calls(), (std::vector<std::string>{"RegisterLineSetup(49)", "SetLineParams(49,10,9600,2000,20,1)"}));
    // block to port
    host.ClearCalls();
    silo.SetConnectionType(5);
    EXPECT_EQ(TFakePorts::Alive, 1);
    EXPECT_EQ(TFakePorts::Opened, (std::vector<std::uint8_t>{3}));
    EXPECT_TRUE(host.Calls().empty());
    // port to port
    silo.SetConnectionType(11);
    EXPECT_EQ(TFakePorts::Opened, (std::vector<std::uint8_t>{3, 9}));
    EXPECT_EQ(TFakePorts::Alive, 1) << "the old port is gone";
    // same type: nothing reopened
    silo.SetConnectionType(11);
    EXPECT_EQ(TFakePorts::Opened.size(), 2u);
    // port to block
    silo.SetConnectionType(0);
    EXPECT_EQ(TFakePorts::Alive, 0);
    EXPECT_EQ(host.Calls(), (std::vector<std::string>{"RegisterLineSetup(17)", "SetLineParams(17,10,9600,2000,20,1)"}));
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(Settings, PortThatCannotBeOpenedIsReportedAndTheLineStaysSilent) {
    TRecordingHost host;
    TSilo silo(0, &host, test::FailToOpenPort);
    silo.SetConnectionType(4);
    EXPECT_EQ(silo.ConnectionType(), 4);
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Невозможно открыть порт COM для уровнемера!"}));
    std::array<std::uint8_t, 256> buffer{'L', '0', '1'};
    EXPECT_EQ(silo.Request(buffer.data(), 3, 43, 0), 0);
    EXPECT_EQ(silo.GetState(), 2) << "no line to use: no answer";
    silo.GetLevel(0);
    EXPECT_EQ(silo.GetState(), 3);
}

TEST_F(Settings, HostErrorsDuringTheSwitchReachNoMessage) {
    TRecordingHost host;
    host.ThrowFrom = "RegisterLineSetup";
    TSilo silo(0, &host);
    EXPECT_NO_THROW(silo.SetConnectionType(2));
    EXPECT_EQ(silo.ConnectionType(), 2);
    EXPECT_TRUE(MessageTexts().empty()) << "SetupCommBlock deals with its own failures";
}

class SettingsSave : public Settings {
protected:
    test::TWindowsDirectory FWindows;
    std::string ReadFile() {
        std::ifstream in(FWindows.Path() / "cnf.ini", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(SettingsSave, SavingComThreeOnBlockTwoWritesTheFileAndSwitches) {
    FWindows.Write("cnf.ini", "; station settings\r\n[Other]\r\nConnectionType=9\r\n[QX]\r\nConnectionType = 1\r\nMetricsDir=C:\\m\r\n");
    TSilo silo(1, nullptr, test::OpenFakePort);
    HeadlessApplication().Operator = [](TfmTuneParamsQX& form) {
        form.OperatorSelects(5);
        EXPECT_TRUE(form.bbtSave.Enabled);
        form.OperatorPressesEnter();
        EXPECT_FALSE(form.bbtSave.Enabled) << "disabled again; the dialog stays open";
        form.OperatorPressesEsc();
    };
    silo.SettingsClick(nullptr);
    EXPECT_EQ(ReadFile(), "; station settings\r\n[Other]\r\nConnectionType=9\r\n[QX]\r\nConnectionType = 5\r\nMetricsDir=C:\\m\r\n");
    EXPECT_EQ(ReadConfiguredMetricsDir(), "C:\\m");  // the metrics stay on
    EXPECT_EQ(silo.ConnectionType(), 5);
    EXPECT_EQ(TFakePorts::Opened, (std::vector<std::uint8_t>{3}));
}

TEST_F(SettingsSave, TheEmptyLastEntryIsPortNine) {
    FWindows.Write("cnf.ini", "[QX]\nConnectionType=0\n");
    TSilo silo(0, nullptr, test::OpenFakePort);
    HeadlessApplication().Operator = [](TfmTuneParamsQX& form) {
        form.OperatorSelects(11);
        form.OperatorClicksSave();
    };
    silo.SettingsClick(nullptr);
    EXPECT_EQ(ReadFile(), "[QX]\nConnectionType=11\n");
    EXPECT_EQ(TFakePorts::Opened, (std::vector<std::uint8_t>{9}));
}

TEST_F(SettingsSave, SavingTheSameTypeWritesTheFileButReopensNothing) {
    FWindows.Write("cnf.ini", "[QX]\nConnectionType=7\n");
    TSilo silo(3, nullptr, test::OpenFakePort);
    ASSERT_EQ(TFakePorts::Opened.size(), 1u);
    HeadlessApplication().Operator = [](TfmTuneParamsQX& form) {
        form.OperatorSelects(3);
        form.OperatorClicksSave();
    };
    silo.SettingsClick(nullptr);
    EXPECT_EQ(ReadFile(), "[QX]\nConnectionType=3\n");
    EXPECT_EQ(TFakePorts::Opened.size(), 1u);
}

TEST_F(SettingsSave, WithoutTheFileNothingIsWrittenYetTheSiloSwitches) {
    TRecordingHost host;
    TSilo silo(0, &host);
    HeadlessApplication().Operator = [](TfmTuneParamsQX& form) {
        form.OperatorSelects(2);
        form.OperatorClicksSave();
    };
    silo.SettingsClick(nullptr);
    EXPECT_EQ(FWindows.EntryCount(), 0u);
    EXPECT_EQ(silo.ConnectionType(), 2);
}

TEST(ProfileWriter, ReplacesOnlyTheValueAndKeepsEverythingElse) {
    struct TCase {
        const char* Name;
        std::string Before;
        std::string After;
    };
    const TCase cases[] = {
        {"value replaced", "[QX]\nConnectionType=1\n", "[QX]\nConnectionType=5\n"},
        {"spacing and CRLF kept", "[qx]\r\n  connectiontype =  1 ; old\r\n", "[qx]\r\n  connectiontype =  5\r\n"},
        {"other sections kept", "[A]\nConnectionType=1\n[QX]\nK=2\nConnectionType=3\n[B]\nx=y\n",
         "[A]\nConnectionType=1\n[QX]\nK=2\nConnectionType=5\n[B]\nx=y\n"},
        {"key added to its section", "[QX]\r\nK=2\r\n\r\n[B]\r\nx=y\r\n", "[QX]\r\nK=2\r\nConnectionType=5\r\n\r\n[B]\r\nx=y\r\n"},
        {"section added", "; comment\n[B]\nx=y", "; comment\n[B]\nx=y\n[QX]\nConnectionType=5\n"},
        {"empty file", "", "[QX]\nConnectionType=5\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithProfileValue(c.Before, "QX", "ConnectionType", "5"), c.After) << c.Name;
    // What is written reads back, whatever was around it.
    for (const auto& c : cases) {
        std::istringstream in(WithProfileValue(c.Before, "QX", "ConnectionType", "5"));
        EXPECT_EQ(FindProfileValue(in, "QX", "ConnectionType"), "5") << c.Name;
    }
}

TEST(ProfileWriter, FailedWriteLeavesTheOldFileWhole) {
    test::TWindowsDirectory windows;
    const std::string old = "[QX]\nConnectionType=1\n; " + std::string(200, 'c') + "\n";
    windows.Write("cnf.ini", old);
    const std::string path = (windows.Path() / "cnf.ini").string();
    // A child whose files may not grow past 16 bytes: every write of the
    // new file fails, as on a full disk.
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        const bool written = WriteProfileInt(path, "QX", "ConnectionType", 4, error);
        ::_exit(written ? 0 : (error.empty() ? 2 : 3));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3) << "the write reported its failure with a reason";
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), old);
    EXPECT_EQ(windows.EntryCount(), 1u) << "no temporary file left behind";
}

}  // namespace
}  // namespace qmx
