// The DLL's binary contract, exercised as a host exercises it.

#include <windows.h>
#include <psapi.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dll_calls.h"
#include "fake_host.h"
#include "fake_menu.h"
#include "gui_operator.h"
#include "harness.h"
#include "host_process.h"

namespace qmx::abi {
namespace {

// Slot positions of the silo's operation table.
enum : int {
    kAbstract0 = 0, kAbstract1, kGetDescription, kSetState, kGetState, kSetupCommBlock, kNoOp,
    kNoOpWithArgument, kReturnZero, kGetLevel, kGetTemperatures, kGetAuxValue, kGetDensity,
    kClearWordPair, kReturnZeroReal, kInstallMenu,
};

std::vector<std::uint8_t> LevelAnswer(const std::string& level7, const std::string& aux7,
                                      const std::string& temperature4) {
    return Frame("L05 0A0" + level7 + aux7 + "00000000000000" + temperature4 + "0");
}

std::vector<std::uint8_t> DensityAnswer(const std::string& density8) {
    return Frame("G05" + std::string(20, '0') + density8 + std::string(11, '0'));
}

// "Ошибка запроса уровня" in code page 1251.
const char kRequestError[] =
    "\xCE\xF8\xE8\xE1\xEA\xE0 \xE7\xE0\xEF\xF0\xEE\xF1\xE0 \xF3\xF0\xEE\xE2\xED\xFF";

std::string CallsText(TFakeHost& host) {
    std::string text;
    for (const auto& call : host.TakeCalls()) text += call + ";";
    return text;
}

// Runs `body` on another thread; false when it did not end within 10 s,
// which is what a lock left held would cause.
template <class F>
bool FinishesOnAnotherThread(F body) {
    HANDLE thread = StartThread(body);
    const bool finished = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
    if (!finished) TerminateThread(thread, 1);
    CloseHandle(thread);
    return finished;
}

ABI_TEST(ExportsTheTwoFactoriesUnderPlainNames) {
    CHECK(Export("GetSiloEx") != nullptr);
    CHECK(Export("GetSiloEx3") != nullptr);
    CHECK(Export("_GetSiloEx@8") == nullptr);
    CHECK(Export("GetSiloEx@8") == nullptr);
    CHECK(Export("GetSiloEx3@12") == nullptr);
}

ABI_TEST(FactoriesRemoveTheirArgumentsAndReturnAnObjectWithItsTable) {
    TFakeHost host;
    TCallResult call{};
    void* silo = NewSiloEx3(&host, 2, 1, &call);
    CHECK(silo != nullptr);
    CHECK_EQ(call.StackDelta, 0);
    CHECK(TableOf(silo) != nullptr);
    CHECK(TableOf(silo)[-1] != nullptr);
    CHECK_EQ(DestroySilo(silo).StackDelta, 0);

    silo = NewSiloEx(&host, &call);
    CHECK(silo != nullptr);
    CHECK_EQ(call.StackDelta, 0);
    CHECK_EQ(DestroySilo(silo).StackDelta, 0);
    CHECK_STR(CallsText(host), "");
}

ABI_TEST(DescriptionIsThirtyEightBytesAndTheBufferComesFirst) {
    void* silo = NewSiloEx3(nullptr, 1, 1);
    std::uint8_t buffer[64];
    std::memset(buffer, 0xAA, sizeof buffer);
    const TCallResult call =
        CallEntry(TableOf(silo)[kGetDescription], {Word(buffer), Word(silo)});
    CHECK_EQ(call.StackDelta, 0);
    CHECK_STR(Hex(buffer, 39),
              "25 76 33 2E 30 30 23 CF F0 EE F2 EE EA EE EB 20 EA 20 F3 F0 EE E2 ED E5 EC E5 F0 F3 "
              "20 51 75 65 6C 6D 61 72 6F 78 AA");
    DestroySilo(silo);
}

ABI_TEST(LinkStateSlotsAndPlaceholders) {
    TFakeHost host;
    void* silo = NewSiloEx3(&host, 1, 1);
    TCallResult call = CallSlot(silo, kGetState, {});
    CHECK_EQ(call.StackDelta, 0);
    CHECK_EQ(call.Eax & 0xFF, 1u);
    CHECK_EQ(CallSlot(silo, kSetState, {0xFFFFFF07}).StackDelta, 0);
    CHECK_EQ(CallSlot(silo, kGetState, {}).Eax & 0xFF, 7u);

    CHECK_EQ(CallSlot(silo, kNoOp, {}).StackDelta, 0);
    CHECK_EQ(CallSlot(silo, kNoOpWithArgument, {0x12345678}).StackDelta, 0);
    call = CallSlot(silo, kReturnZero, {});
    CHECK_EQ(call.StackDelta, 0);
    CHECK_EQ(call.Eax, 0u);
    call = CallSlot(silo, kReturnZeroReal, {99}, true);
    CHECK_EQ(call.StackDelta, 0);
    CHECK_EQ(call.St0, 0.0);
    std::uint16_t pair[3] = {0xFFFF, 0x1234, 0xBEEF};
    CHECK_EQ(CallSlot(silo, kClearWordPair, {5, Word(pair)}).StackDelta, 0);
    CHECK_EQ(pair[0], 0);
    CHECK_EQ(pair[1], 0);
    CHECK_EQ(pair[2], 0xBEEF);
    CHECK_STR(CallsText(host), "");
    DestroySilo(silo);
}

ABI_TEST(SlotsWithoutImplementationRaiseTheirCode) {
    void* silo = NewSiloEx3(nullptr, 1, 1);
    for (int slot : {kAbstract0, kAbstract1}) {
        const TRaised raised = Catch([&] { CallSlot(silo, slot, {}); });
        CHECK(raised.Raised);
        CHECK_EQ(raised.Fault.Code, 0xE0515810ul);
        CHECK_EQ(raised.Fault.Flags & EXCEPTION_NONCONTINUABLE, static_cast<DWORD>(EXCEPTION_NONCONTINUABLE));
        CHECK_EQ(raised.Fault.ParameterCount, 1ul);
        CHECK_STR(raised.Message(), "Abstract Error");
    }
    DestroySilo(silo);
}

ABI_TEST(SetupCommBlockHandsOverConfigureLineAsEntryAndSilo) {
    TFakeHost host;
    void* silo = NewSiloEx3(&host, 2, 1);
    CHECK_EQ(CallSlot(silo, kSetupCommBlock, {0}).StackDelta, 0);
    CHECK_STR(CallsText(host), "RegisterLineSetup(33);SetLineParams(33,10,9600,2000,20,1);");
    CHECK_EQ(host.SetupObject, Word(silo));

    // The service re-applies the set-up through the reference.
    const TCallResult call = CallEntry(reinterpret_cast<const void*>(host.SetupEntry), {host.SetupObject, 7});
    CHECK_EQ(call.StackDelta, 0);
    CHECK_STR(CallsText(host), "SetLineParams(33,10,9600,2000,20,1);");
    DestroySilo(silo);
}

ABI_TEST(HostErrorsInsideSetupCommBlockAreAbsorbed) {
    for (int slot : {26, 27}) {
        TFakeHost host;
        void* silo = NewSiloEx3(&host, 1, 1);
        CallSlot(silo, kSetState, {2});
        host.RaiseInSlot = slot;
        TCallResult call{};
        const TRaised raised = Catch([&] { call = CallSlot(silo, kSetupCommBlock, {0}); });
        CHECK(!raised.Raised);
        CHECK_EQ(call.StackDelta, 0);
        CHECK_EQ(CallSlot(silo, kGetState, {}).Eax & 0xFF, 2u);
        DestroySilo(silo);
    }
}

ABI_TEST(HostErrorOfALineSetupCalledByTheHostGoesBackToIt) {
    TFakeHost host;
    void* silo = NewSiloEx3(&host, 1, 1);
    CallSlot(silo, kSetupCommBlock, {0});
    host.RaiseInSlot = 26;
    const TRaised raised = Catch(
        [&] { CallEntry(reinterpret_cast<const void*>(host.SetupEntry), {host.SetupObject, 0}); });
    CHECK(raised.Raised);
    CHECK_EQ(raised.Fault.Code, kHostExceptionCode);
    CHECK_EQ(raised.Fault.ParameterCount, 1ul);
    CHECK_EQ(raised.Fault.Parameters[0], kHostExceptionParameter);
    DestroySilo(silo);
}

ABI_TEST(WholeReadingOverABlockWithTheCheckCalledBack) {
    TFakeHost host;
    host.JudgeWithCheck = true;
    void* silo = NewSiloEx3(&host, 1, 1);

    host.Answer = LevelAnswer("0012345", "0001350", "-125");
    TCallResult call = CallSlot(silo, kGetLevel, {0xFFFFFF04}, true);
    CHECK_EQ(call.StackDelta, 0);
    CHECK_EQ(call.St0, 123.45);
    CHECK_STR(Hex(host.LastFrame.data(), host.LastFrame.size()), "02 4C 30 35 03 48");
    CHECK_STR(CallsText(host),
              "SetAnswerCheck(0,17);Exchange(0,17,17,6,43,0);ReportAnswerStatus(0,0);GetLineState(17);");
    CHECK_EQ(host.CheckObject, Word(silo));
    CHECK_EQ(host.CheckStackDelta, 0);
    CHECK_EQ(host.CheckResult, 1u);
    CHECK_EQ(CallSlot(silo, kGetState, {}).Eax & 0xFF, 1u);

    double record[5] = {0, 0, 0, 0, 77};
    CHECK_EQ(CallSlot(silo, kGetTemperatures, {4, Word(record)}).StackDelta, 0);
    CHECK(record[0] == -12.5 && record[1] == -12.5 && record[2] == -12.5 && record[3] == -12.5);
    CHECK_EQ(record[4], 77.0);
    call = CallSlot(silo, kGetAuxValue, {4});
    CHECK_EQ(call.StackDelta, 0);
    CHECK_EQ(call.Eax & 0xFF, 14u);
    CHECK_STR(CallsText(host), "");  // both answered from the tables

    host.Answer = DensityAnswer("00812345");
    call = CallSlot(silo, kGetDensity, {4}, true);
    CHECK_EQ(call.StackDelta, 0);
    CHECK_EQ(call.St0, 0.00812345);
    CHECK_STR(CallsText(host),
              "SetAnswerCheck(0,17);Exchange(0,17,17,6,45,0);ReportAnswerStatus(0,0);GetLineState(17);");

    // A corrupted answer: the check says no and reports why.
    host.Answer = LevelAnswer("0012345", "0001350", "-125");
    host.Answer[10] ^= 1;
    host.LineState = 3;
    CallSlot(silo, kGetLevel, {4}, true);
    CHECK_EQ(host.CheckResult, 0u);
    CHECK_STR(CallsText(host),
              "SetAnswerCheck(0,17);Exchange(0,17,17,6,43,0);ReportAnswerStatus(0,222);GetLineState(17);");
    CHECK_EQ(CallSlot(silo, kGetState, {}).Eax & 0xFF, 3u);
    DestroySilo(silo);
}

ABI_TEST(FailedExchangeRaisesTheRequestError) {
    TFakeHost host;
    host.ExchangeResult = 1;
    void* silo = NewSiloEx3(&host, 1, 1);
    for (int slot : {kGetLevel, kGetDensity, kGetAuxValue}) {
        CallSlot(silo, kSetState, {2});
        const TRaised raised = Catch([&] { CallSlot(silo, slot, {0}, slot != kGetAuxValue); });
        CHECK(raised.Raised);
        CHECK_EQ(raised.Fault.Code, 0xE0515800ul);
        CHECK_STR(raised.Message(), kRequestError);
    }
    DestroySilo(silo);
}

ABI_TEST(HostErrorsDuringAnExchangeAreAbsorbedAndTheLockLeft) {
    struct TCase {
        int Slot;
        bool Raises;  // the exchange broke off before a result: the request error
    };
    for (const TCase& c : {TCase{23, false}, TCase{24, true}, TCase{25, true}, TCase{31, true}}) {
        TFakeHost host;
        host.Answer = LevelAnswer("0012345", "0001350", "-125");
        host.JudgeWithCheck = true;
        void* silo = NewSiloEx3(&host, 1, 1);
        host.RaiseInSlot = c.Slot;
        const TRaised raised = Catch([&] { CallSlot(silo, kGetLevel, {0}, true); });
        CHECK_EQ(raised.Raised, c.Raises);
        if (c.Raises) {
            CHECK_EQ(raised.Fault.Code, 0xE0515800ul);
            CHECK_STR(raised.Message(), kRequestError);
        }
        host.RaiseInSlot = -1;
        host.TakeCalls();
        double level = 0;
        CHECK(FinishesOnAnotherThread([&] { level = CallSlot(silo, kGetLevel, {0}, true).St0; }));
        CHECK_EQ(level, 123.45);
        DestroySilo(silo);
    }
}

ABI_TEST(ReportErrorPassesToTheHostThatCalledTheCheck) {
    TFakeHost host;
    void* silo = NewSiloEx3(&host, 3, 1);
    host.Answer = LevelAnswer("0012345", "0001350", "-125");
    CallSlot(silo, kGetLevel, {0}, true);  // hands over the check
    host.RaiseInSlot = 31;
    std::vector<std::uint8_t> answer = host.Answer;
    std::uint8_t received = 43, expected = 43;
    const TRaised raised = Catch([&] {
        CallEntry(reinterpret_cast<const void*>(host.CheckEntry),
                  {host.CheckObject, 17, Word(answer.data()), 0, Word(&received), Word(&expected)});
    });
    CHECK(raised.Raised);
    CHECK_EQ(raised.Fault.Code, kHostExceptionCode);
    CHECK_EQ(raised.Fault.Parameters[0], kHostExceptionParameter);
    host.RaiseInSlot = -1;
    CHECK(FinishesOnAnotherThread([&] { CallSlot(silo, kGetLevel, {0}, true); }));
    DestroySilo(silo);
}

ABI_TEST(ReferencesOfADestroyedSiloDoNothing) {
    TFakeHost host;
    void* silo = NewSiloEx3(&host, 1, 1);
    TFakeMenuItem* root = NewMenuItem(3);
    TFakeMenuItem* settings = root->AddChild("&\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0");
    CallSlot(silo, kInstallMenu, {Word(root), 0});
    CallSlot(silo, kSetupCommBlock, {0});
    host.Answer = LevelAnswer("0012345", "0001350", "-125");
    CallSlot(silo, kGetLevel, {0}, true);
    DestroySilo(silo);
    host.TakeCalls();

    std::vector<std::uint8_t> answer = host.Answer;
    std::uint8_t received = 43, expected = 43;
    TCallResult call = CallEntry(reinterpret_cast<const void*>(host.CheckEntry),
                                 {host.CheckObject, 17, Word(answer.data()), 0, Word(&received), Word(&expected)});
    CHECK_EQ(call.StackDelta, 0);
    CHECK_EQ(call.Eax & 0xFF, 0u);
    call = CallEntry(reinterpret_cast<const void*>(host.SetupEntry), {host.SetupObject, 0});
    CHECK_EQ(call.StackDelta, 0);
    CHECK_STR(CallsText(host), "");
    // The operator picks the entry the destroyed silo left in the menu:
    // nothing opens (a dialog here would never close).
    CHECK_EQ(settings->Children.size(), 1u);
    if (settings->Children.size() == 1) {
        const TFakeMenuItem& entry = *settings->Children[0];
        call = CallEntry(reinterpret_cast<const void*>(entry.ClickEntry), {entry.ClickObject, Word(&entry)});
        CHECK_EQ(call.StackDelta, 0);
    }
}

ABI_TEST(ConnectionTypeComesFromCnfIniInTheWindowsDirectory) {
    char directory[MAX_PATH] = {};
    GetWindowsDirectoryA(directory, sizeof directory);
    const std::string path = std::string(directory) + "\\cnf.ini";
    struct TCase {
        const char* Content;
        const char* Line;
    };
    const TCase cases[] = {
        {nullptr, "17"},
        {"[QX]\r\nConnectionType=2\r\n", "49"},
        {"[qx]\r\nconnectiontype=1\r\n", "33"},
        {"[Other]\r\nConnectionType=2\r\n", "17"},
        {"[QX]\r\nConnectionType=256\r\n", "17"},
    };
    for (const TCase& c : cases) {
        DeleteFileA(path.c_str());
        if (c.Content != nullptr) {
            HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD written = 0;
            WriteFile(file, c.Content, static_cast<DWORD>(std::strlen(c.Content)), &written, nullptr);
            CloseHandle(file);
        }
        TFakeHost host;
        void* silo = NewSiloEx(&host);
        CallSlot(silo, kSetupCommBlock, {0});
        CHECK_STR(CallsText(host), std::string("RegisterLineSetup(") + c.Line + ");SetLineParams(" +
                                       c.Line + ",10,9600,2000,20,1);");
        DestroySilo(silo);
    }
    CHECK(GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES);
    DeleteFileA(path.c_str());
    TFakeHost host;
    DestroySilo(NewSiloEx(&host));
    CHECK(GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES);  // nothing created
}

ABI_TEST(SilosOnSeveralThreadsStaySeparateAndSerialised) {
    TFakeHost shared;
    shared.Answer = LevelAnswer("0000500", "0000100", "0100");
    shared.ExchangeSleepMs = 1;
    void* one = NewSiloEx3(&shared, 1, 1);
    TFakeHost own;
    own.Answer = LevelAnswer("0000700", "0000100", "0100");
    void* other = NewSiloEx3(&own, 2, 1);
    bool allRight = true;
    auto reader = [&](void* silo, double level) {
        for (int i = 0; i < 40; ++i)
            if (CallSlot(silo, kGetLevel, {static_cast<TWord>(i % 33)}, true).St0 != level) allRight = false;
    };
    auto first = [&] { reader(one, 5.0); };
    auto second = [&] { reader(one, 5.0); };
    auto third = [&] { reader(other, 7.0); };
    HANDLE threads[3] = {StartThread(first), StartThread(second), StartThread(third)};
    CHECK(WaitForMultipleObjects(3, threads, TRUE, 30000) == WAIT_OBJECT_0);
    for (HANDLE thread : threads) CloseHandle(thread);
    CHECK(allRight);
    CHECK_EQ(shared.MaxInside, 1l);
    DestroySilo(one);
    DestroySilo(other);
}

ABI_TEST(CreateAndDestroyCyclesLeaveHandlesAndMemoryFlat) {
    TFakeHost host;
    auto cycle = [&](int count) {
        for (int i = 0; i < count; ++i) {
            void* silo = NewSiloEx3(&host, static_cast<TWord>(1 + i % 3), 1);
            CallSlot(silo, kSetupCommBlock, {0});
            DestroySilo(silo);
        }
        host.TakeCalls();
    };
    cycle(100);  // warm up the allocator and the thread storage
    DWORD handlesBefore = 0, handlesAfter = 0;
    PROCESS_MEMORY_COUNTERS before{}, after{};
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
    cycle(1000);
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    CHECK_EQ(handlesAfter, handlesBefore);
    // A silo object is a few kilobytes: a thousand kept would show as megabytes.
    CHECK(after.PagefileUsage < before.PagefileUsage + 256 * 1024);
}

ABI_TEST(InstallMenuAddsTheEntryThroughTheHostsMenuTable) {
    TFakeMenuItem* root = NewMenuItem(7);
    root->AddChild("&\xD4\xE0\xE9\xEB");                              // &Файл
    TFakeMenuItem* settings = root->AddChild("&\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0");  // &Настройка
    void* silo = NewSiloEx3(nullptr, 2, 1);
    CHECK_EQ(CallSlot(silo, kInstallMenu, {Word(root), 0}).StackDelta, 0);
    CHECK_EQ(settings->Children.size(), 1u);
    if (settings->Children.size() == 1) {
        const TFakeMenuItem& entry = *settings->Children[0];
        // "Настройка уровнемера Quelmarox4 (БС №2)": block 2 is type 1
        CHECK_STR(Hex(entry.Caption.data(), entry.Caption.size()),
                  Hex("\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0 \xF3\xF0\xEE\xE2\xED\xE5\xEC\xE5\xF0\xE0 "
                      "Quelmarox4 (\xC1\xD1 \xB9" "2)", 39));
        CHECK_STR(entry.Hint, "\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0 Quelmarox4");
        CHECK_EQ(entry.HelpContext, 0u);
        CHECK_EQ(entry.ShortCut, 0u);
        CHECK_EQ(entry.Owner, 7);
        CHECK_EQ(entry.ClickObject, Word(silo));
        CHECK(entry.ClickEntry != 0);
    }
    CHECK_EQ(settings->Calls.size(), 2u);  // CreateItem, Add
    // Offered once: a second call adds nothing; a null menu neither.
    CallSlot(silo, kInstallMenu, {Word(root), 0});
    CHECK_EQ(settings->Children.size(), 1u);
    void* other = NewSiloEx3(nullptr, 1, 1);
    CHECK_EQ(CallSlot(other, kInstallMenu, {0, 0}).StackDelta, 0);
    DestroySilo(other);
    DestroySilo(silo);
}

ABI_TEST(ClassHeaderReadsAsTheHostsClassLibraryReadsIt) {
    void* silo = NewSiloEx3(nullptr, 1, 1);
    const void* const* table = TableOf(silo);
    auto word = [&](int offset) { return Word(table[offset / 4]); };
    CHECK_EQ(word(-76), Word(table));  // the self pointer
    for (int offset = -72; offset <= -48; offset += 4) CHECK_EQ(word(offset), 0u);  // no tables
    CHECK_EQ(word(-36), 0u);                                                       // no parent
    const auto* name = reinterpret_cast<const char*>(table[-44 / 4]);
    CHECK_STR(std::string(name + 1, static_cast<unsigned char>(name[0])), "TSilo");
    const TWord size = word(-40);
    CHECK(size >= 4 && size < 65536);
    const std::vector<char> before(static_cast<const char*>(silo), static_cast<const char*>(silo) + size);

    // The standard entries, called as the class library calls them: the
    // object in EAX, a second argument in EDX. They leave the object alone.
    struct TCase {
        int Offset;
        bool CheckResult;
        TWord Result;
    };
    const TCase cases[] = {{-32, true, 0x8000FFFF}, {-28, false, 0}, {-24, false, 0}, {-20, false, 0},
                           {-16, false, 0},         {-12, true, 0},  {-8, false, 0}};
    for (const TCase& c : cases) {
        std::uint32_t message[4] = {0x0111, 0, 0, 0};
        TCallResult call{};
        qmxCallRegister(table[c.Offset / 4], Word(silo), Word(message), &call);
        CHECK_EQ(call.StackDelta, 0);
        if (c.CheckResult) CHECK_EQ(call.Eax, c.Result);
        CHECK_EQ(message[0], 0x0111u);
    }
    CHECK(std::memcmp(before.data(), silo, size) == 0);
    CHECK_EQ(CallSlot(silo, kGetState, {}).Eax & 0xFF, 1u);
    DestroySilo(silo);
}

// A toolkit's menu item: a method table the DLL knows nothing of. Any call
// into it fails the test (and, with the wrong arguments, the stack).
int gToolkitCalls = 0;
void ToolkitMethod() { ++gToolkitCalls; }

ABI_TEST(InstallMenuNeverCallsAnObjectWithoutTheTag) {
    static void* toolkitMethods[16];
    for (void*& method : toolkitMethods) method = reinterpret_cast<void*>(&ToolkitMethod);
    static void* const toolkitItem[4] = {toolkitMethods, nullptr, nullptr, nullptr};
    static void* const nullTable[2] = {nullptr, nullptr};
    static const TWord unreadable[1] = {0x10};  // a table at an address nothing is mapped at
    static TWord tagOnly[1] = {kMenuTableTag};
    static void* const tagNotFirst[2] = {nullptr, tagOnly};
    const void* items[] = {toolkitItem, nullTable, unreadable, tagNotFirst};
    for (const void* item : items) {
        void* silo = NewSiloEx3(nullptr, 1, 1);
        TCallResult call{};
        const TRaised raised = Catch([&] { call = CallSlot(silo, kInstallMenu, {Word(item), 0}); });
        CHECK(!raised.Raised);
        CHECK_EQ(call.StackDelta, 0);
        DestroySilo(silo);
    }
    CHECK_EQ(gToolkitCalls, 0);
}

ABI_TEST(EveryArgumentValueGivesACleanResult) {
    TFakeHost host;
    host.Answer = LevelAnswer("0012345", "0001350", "-125");
    void* silo = NewSiloEx3(&host, 1, 1);
    bool clean = true;
    for (TWord tank = 0; tank <= 255; ++tank) {
        // The high bytes of each word are noise a host may leave.
        const TCallResult level = CallSlot(silo, kGetLevel, {0xABCD0000u | tank}, true);
        const TWord state = CallSlot(silo, kGetState, {}).Eax & 0xFF;
        if (level.StackDelta != 0 || state != (tank < 33 ? 1u : 3u)) clean = false;
        double record[4] = {};
        if (CallSlot(silo, kGetTemperatures, {tank, Word(record)}).StackDelta != 0) clean = false;
        if (CallSlot(silo, kGetTemperatures, {tank, 0}).StackDelta != 0) clean = false;
        if (CallSlot(silo, kGetAuxValue, {tank}).StackDelta != 0) clean = false;
        host.Answer = DensityAnswer("00812345");
        if (CallSlot(silo, kGetDensity, {tank}, true).StackDelta != 0) clean = false;
        host.Answer = LevelAnswer("0012345", "0001350", "-125");
        CallSlot(silo, kSetState, {tank});
        if ((CallSlot(silo, kGetState, {}).Eax & 0xFF) != tank) clean = false;
        CallSlot(silo, kSetState, {1});
    }
    CHECK(clean);
    CHECK_EQ(CallSlot(silo, kClearWordPair, {0, 0}).StackDelta, 0);
    CHECK_EQ(CallEntry(TableOf(silo)[kGetDescription], {0, Word(silo)}).StackDelta, 0);
    DestroySilo(silo);
}

ABI_TEST(FactoryOfAPortThatCannotBeOpenedRaisesOpenPortFail) {
    // COM6 is mapped to nothing in the test prefix; COM200 is mapped nowhere.
    for (TWord number : {6u, 200u}) {
        TFakeHost host;
        const TRaised raised = Catch([&] { NewSiloEx3(&host, number, 0); });
        CHECK(raised.Raised);
        CHECK_EQ(raised.Fault.Code, 0xE0515802ul);
        // "Невозможно открыть COM<n>"
        CHECK_STR(raised.Message(), "\xCD\xE5\xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE \xEE\xF2\xEA\xF0\xFB\xF2\xFC COM" +
                                        std::to_string(number));
        CHECK_STR(CallsText(host), "");
    }
}

// Run only by the line runner, which maps COM<QMX_LINE_PORT> to the gauge
// simulator with tank 1 at known values.
ABI_TEST(LineReadsATankFromTheGauge) {
    const char* port = std::getenv("QMX_LINE_PORT");
    CHECK(port != nullptr);
    if (port == nullptr) return;
    void* silo = NewSiloEx3(nullptr, static_cast<TWord>(std::atoi(port)), 0);
    CHECK(silo != nullptr);
    TCallResult call = CallSlot(silo, kGetLevel, {0}, true);
    CHECK_EQ(call.StackDelta, 0);
    CHECK_EQ(call.St0, 1234.56);
    CHECK_EQ(CallSlot(silo, kGetState, {}).Eax & 0xFF, 1u);
    double record[4] = {};
    CallSlot(silo, kGetTemperatures, {0, Word(record)});
    CHECK_EQ(record[0], -12.5);
    CHECK_EQ(CallSlot(silo, kGetAuxValue, {0}).Eax & 0xFF, 12u);
    CHECK_EQ(CallSlot(silo, kGetDensity, {0}, true).St0, 0.8123);
    CHECK_EQ(CallSlot(silo, kGetState, {}).Eax & 0xFF, 1u);
    CHECK_EQ(DestroySilo(silo).StackDelta, 0);
}

}  // namespace
}  // namespace qmx::abi
