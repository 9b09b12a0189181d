// Local input that is wrong in every way the client can meet it: registry values
// of the wrong type or size, broken language files, a missing Startup folder. Each
// gets its documented reaction (the default, or the failure text), never a crash.

#include <gtest/gtest.h>
#include <objbase.h>

#include "account/form_connect_win.h"
#include "account/form_requests_win.h"
#include "auth/form_auth_win.h"
#include "i18n/language_win.h"
#include "shell/form_mirovant_win.h"
#include "support/auth_fakes_win.h"
#include "support/install_dir_win.h"
#include "support/job_request_win.h"
#include "support/product.h"
#include "support/registry_sandbox_win.h"
#include "support/registry_win.h"
#include "support/temp_folder_win.h"
#include "ui/controls_win.h"

namespace pm {
namespace {

// Every wrong shape a registry value can have.
struct RawValue {
    const char* what;
    DWORD type;
    std::vector<uint8_t> bytes;
};

std::vector<RawValue> WrongValues() {
    return {
        {"dword", REG_DWORD, {1, 0, 0, 0}},
        {"short dword", REG_DWORD, {1}},
        {"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}},
        {"binary", REG_BINARY, std::vector<uint8_t>(9, 0xFF)},
        {"empty binary", REG_BINARY, {}},
        {"multi-string", REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0}},
        {"odd-sized string", REG_SZ, {'A', 0, 'B'}},
        {"huge string", REG_SZ, std::vector<uint8_t>(200000, 'x')},
        {"none", REG_NONE, {}},
    };
}

void SetRaw(HKEY root, const wchar_t* path, const wchar_t* name, const RawValue& value) {
    const UniqueKey key = reg::OpenKey(root, path, reg::Access::ReadWrite);
    RegSetValueExW(key.Get(), name, 0, value.type, value.bytes.empty() ? nullptr : value.bytes.data(),
                   DWORD(value.bytes.size()));
}

class BadInput : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override {
        ProductCaption() = kProductCaption;
        SetCurrentLanguage(L"English");
        InitInstallDirectory();
        CoUninitialize();
    }
    test::RegistrySandbox sandbox_;
    test::TempFolder temp_;
};

TEST_F(BadInput, EveryValueTheClientReadsSurvivesEveryWrongShape) {
    for (const RawValue& value : WrongValues()) {
        SCOPED_TRACE(value.what);
        SetRaw(HKEY_LOCAL_MACHINE, kProductKey, L"Install Directory", value);
        SetRaw(HKEY_LOCAL_MACHINE, kProductKey, L"DisableSendMessage", value);
        SetRaw(HKEY_CURRENT_USER, kInterfaceKey, L"AccInfoServer", value);
        SetRaw(HKEY_CURRENT_USER, kInterfaceKey, L"AccInfoLeft", value);
        SetRaw(HKEY_CURRENT_USER, kInterfaceKey, L"AccInfoTop", value);
        SetRaw(HKEY_CURRENT_USER, kInterfaceKey, L"Language", value);
        SetRaw(HKEY_CURRENT_USER, L"\\Control Panel\\International", L"Locale", value);
        SetRaw(HKEY_CURRENT_USER, kProductKey, L"AuthOptions", value);
        SetRaw(HKEY_CURRENT_USER, kComputersKey, L"0", value);
        SetRaw(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", L"Startup",
               value);

        InitInstallDirectory();
        const std::wstring program = ExecutablePath();
        // A value that is not a string is as good as none; a string is taken as it reads.
        if (value.type != REG_SZ) {
            EXPECT_EQ(InstallDirectory(), program.substr(0, program.rfind(L'\\') + 1));
        }
        const std::wstring language = SelectLanguage();
        if (value.type != REG_SZ) {
            EXPECT_EQ(language, L"English");
        }
        SetCurrentLanguage(language);

        TFormMirovant tray(test::QuietTray());
        ASSERT_TRUE(tray.Create(nullptr));

        RequestsArgs requests;
        requests.query = [](const std::wstring&, const std::wstring&) { return std::optional<AccountSummary>(); };
        TFormRequests* window = TFormRequests::Create(requests);
        ASSERT_NE(window, nullptr);
        DestroyWindow(window->Handle());

        TFormConnect connect({});
        ASSERT_TRUE(connect.Create(nullptr));

        test::FakeClock clock;
        test::FakeCheck check;
        test::Recorded recorded;
        TFormAuth* dialog =
            TFormAuth::Create(EncodeRequest(test::JobRequest(AuthNone, clock.DayCount())), recorded.Args(clock, check));
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->RowsShown(), (std::array<bool, 8>{true, true, true, true, true, true, true, true}))
            << "only exactly 8 bytes of binary are taken";
        DestroyWindow(dialog->Handle());
    }
}

TEST_F(BadInput, AMissingStartupFolderLeavesTheOptionOff) {
    const UniqueKey folders =
        reg::OpenKey(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                     reg::Access::ReadWrite);
    reg::WriteString(folders.Get(), L"Startup", temp_.Path() + L"no\\such\\folder");
    TFormMirovant tray(test::QuietTray());
    ASSERT_TRUE(tray.Create(nullptr));
    tray.actOptAutoStartExecute();
    EXPECT_FALSE(tray.AutoStart().checked) << "the check mark follows the file, which could not be made";
}

class BadLanguageFile : public BadInput {
protected:
    LangReader With(const std::string& bytes) {
        const std::wstring path = temp_.Path() + L"Bad.lng";
        EXPECT_TRUE(test::WriteWholeFile(path, bytes));
        return LangReader(path);
    }
};

TEST_F(BadLanguageFile, GarbageGivesTheDefaults) {
    std::string garbage(4096, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919) ^ (i >> 3));
    EXPECT_EQ(With(garbage).Read(text::kExit), L"E&xit");
}

TEST_F(BadLanguageFile, Utf16WithoutAByteOrderMarkGivesTheDefaults) {
    const std::wstring text = L"[Global]\r\nstrExit=Ende\r\n";
    const std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    // Read as 8-bit text, the zeros end every line at once: nothing matches.
    EXPECT_EQ(With(bytes).Read(text::kExit), L"E&xit");
}

TEST_F(BadLanguageFile, HugeFilesAndTenThousandSectionsAreRead) {
    std::string sections;
    for (int i = 0; i < 10000; ++i)
        sections += "[S" + std::to_string(i) + "]\r\nk=v\r\n";
    sections += "[Global]\r\nstrExit=Ende\r\n";
    EXPECT_EQ(With(sections).Read(text::kExit), L"Ende");
    std::string huge = "[Global]\r\nstrExit=" + std::string(5 * 1024 * 1024, 'x') + "\r\n";
    EXPECT_EQ(With(huge).Read(text::kExit).size(), 2047u);
}

TEST_F(BadLanguageFile, AFileThatIsAFolderGivesTheDefaults) {
    const std::wstring folder = temp_.Path() + L"Folder.lng";
    CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_EQ(LangReader(folder).Read(text::kOk), L"OK");
}

}  // namespace
}  // namespace pm
