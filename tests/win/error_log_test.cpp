#include "support/error_log_win.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <chrono>

#include "support/log_line.h"
#include "support/process_win.h"
#include "support/temp_folder_win.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

class FixedClock final : public Clock {
public:
    LocalTime Now() const override { return {2026, 12, 6, 9, 5, 3, 45}; }
};

size_t CountLines(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

class ErrorLog : public ::testing::Test {
protected:
    // The folder and its parents do not exist yet: the first entry creates them.
    std::wstring Directory() const { return temp_.Path() + L"install\\dir\\"; }
    std::string LogText() const { return test::ReadWholeFile(Directory() + L"Logs\\Errors.log"); }
    bool WaitForLines(size_t lines) const {
        return test::WaitFor([&] { return CountLines(LogText()) >= lines; }, 10s);
    }

    void MakeLogsFolder() const {
        CreateDirectoryW((temp_.Path() + L"install").c_str(), nullptr);
        CreateDirectoryW(Directory().c_str(), nullptr);
        CreateDirectoryW((Directory() + L"Logs").c_str(), nullptr);
    }

    test::TempFolder temp_;
    FixedClock clock_;
};

TEST_F(ErrorLog, FirstEntryCreatesTheFolderAndWritesTheExactLine) {
    TThreadFileLog log(Directory(), clock_);
    log.Queue(82, 0, L"");
    ASSERT_TRUE(WaitForLines(1));
    const std::string success = ToAnsi(SystemMessageText(0));
    EXPECT_EQ(LogText(),
              "[06.12.2026\xA0"
              "09:05:03.045] 82  Err:0; " +
                  success + "\r\n");
    EXPECT_FALSE(success.empty()) << "the system has a text for success";
    EXPECT_NE(success.back(), '.');
}

TEST(LogsFolder, UsersMayOnlyAppendAndOnlyTheFoldersMakerAddsTheLog) {
    // Regression: users who could create files in the shared Logs folder chose the
    // access list of what they made, Errors.log first of all. (Wine keeps no access
    // list on folders, so the list itself is examined.)
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorW(kLogsFolderSddl, SDDL_REVISION_1, &descriptor, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && dacl);
    // What the list grants `sid` on the folder and on the files in it.
    const auto granted = [&](const wchar_t* sid, ACCESS_MASK& onFolder, ACCESS_MASK& onFiles) {
        PSID account = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidW(sid, &account));
        onFolder = onFiles = 0;
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
            if (!EqualSid(&ace->SidStart, account)) continue;
            if (!(ace->Header.AceFlags & INHERIT_ONLY_ACE)) onFolder |= ace->Mask;
            if (ace->Header.AceFlags & OBJECT_INHERIT_ACE) onFiles |= ace->Mask;
        }
        LocalFree(account);
    };
    constexpr ACCESS_MASK kNoLinksNoRemovalNoNewList =
        FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;
    constexpr ACCESS_MASK kNoOverwriteNoRemovalNoNewList = FILE_WRITE_DATA | DELETE | WRITE_DAC | WRITE_OWNER;
    ACCESS_MASK onFolder = 0, onFiles = 0;
    granted(L"S-1-5-11", onFolder, onFiles);  // authenticated users
    EXPECT_EQ(onFolder & (FILE_LIST_DIRECTORY | FILE_TRAVERSE), DWORD(FILE_LIST_DIRECTORY | FILE_TRAVERSE));
    EXPECT_EQ(onFolder & (FILE_ADD_FILE | kNoLinksNoRemovalNoNewList), 0u);
    EXPECT_EQ(onFiles & FILE_APPEND_DATA, DWORD(FILE_APPEND_DATA));
    EXPECT_EQ(onFiles & kNoOverwriteNoRemovalNoNewList, 0u);
    granted(L"S-1-3-4", onFolder, onFiles);  // the owner: the user whose client made the folder
    EXPECT_EQ(onFolder & FILE_ADD_FILE, DWORD(FILE_ADD_FILE)) << "that client creates Errors.log";
    EXPECT_EQ(onFolder & kNoLinksNoRemovalNoNewList, 0u);
    EXPECT_EQ(onFiles & kNoOverwriteNoRemovalNoNewList, 0u);
    LocalFree(descriptor);
}

TEST_F(ErrorLog, EntriesAppearInTheOrderQueued) {
    TThreadFileLog log(Directory(), clock_);
    for (int i = 1; i <= 5; ++i)
        log.Queue(i, 0, L"entry " + std::to_wstring(i));
    ASSERT_TRUE(WaitForLines(5));
    const std::string text = LogText();
    size_t last = 0;
    for (int i = 1; i <= 5; ++i) {
        const size_t at = text.find("] " + std::to_string(i) + " entry " + std::to_string(i) + " Err:");
        ASSERT_NE(at, std::string::npos) << i;
        EXPECT_GE(at, last);
        last = at;
    }
}

TEST_F(ErrorLog, ExistingFileIsAppendedTo) {
    MakeLogsFolder();
    ASSERT_TRUE(test::WriteWholeFile(Directory() + L"Logs\\Errors.log", "earlier\r\n"));
    TThreadFileLog log(Directory(), clock_);
    log.Queue(-5, 5, L"text");
    ASSERT_TRUE(WaitForLines(2));
    EXPECT_EQ(LogText().rfind("earlier\r\n[06.12.2026", 0), 0u);
    EXPECT_NE(LogText().find("] -5 text Err:5; "), std::string::npos);
}

TEST_F(ErrorLog, AFileHeldByAnotherWriterLosesEntriesAndTheLogGoesOn) {
    MakeLogsFolder();
    const std::wstring file = Directory() + L"Logs\\Errors.log";
    TThreadFileLog log(Directory(), clock_);
    {
        UniqueFile other(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(other);
        log.Queue(1, 0, L"lost");
        ASSERT_TRUE(test::WaitFor([&] { return log.Handled() == 1; }, 10s));
    }
    log.Queue(2, 0, L"kept");
    ASSERT_TRUE(WaitForLines(1));
    EXPECT_EQ(LogText().find("lost"), std::string::npos);
    EXPECT_NE(LogText().find("] 2 kept Err:0"), std::string::npos);
}

TEST_F(ErrorLog, AnotherClientAppendingMeanwhileLosesNothing) {
    // Regression: a writer that shared the file for reading only locked the clients of
    // the other users out while it held the file.
    TThreadFileLog log(Directory(), clock_);
    const UniqueFile other = OpenErrorLogForAppend(Directory());
    ASSERT_TRUE(other);
    log.Queue(1, 0, L"kept");
    EXPECT_TRUE(WaitForLines(1));
}

TEST_F(ErrorLog, AFullLogEndsAtTheLimitWithOneLastLineAndTakesNoMore) {
    const std::string success = ToAnsi(SystemMessageText(0));
    const std::string entry = ComposeLogLine(clock_.Now(), 1, "short", 0, success);
    const std::string longEntry = ComposeLogLine(clock_.Now(), 2, std::string(400, 'x'), 0, success);
    const std::string last =
        ComposeLogLine(clock_.Now(), 190, "Error log full: entries are no longer written", 0, success);
    // After the first entry the long one would fit but leave no room for the last line,
    // which, were it not padded, would leave room for the short entry after it.
    const uint64_t limit = entry.size() + longEntry.size() + last.size() - 1;
    TThreadFileLog log(Directory(), clock_, limit);
    log.Queue(1, 0, L"short");
    log.Queue(2, 0, std::wstring(400, L'x'));
    log.Queue(1, 0, L"short");
    ASSERT_TRUE(test::WaitFor([&] { return log.Handled() == 3; }, 10s));
    const std::string text = LogText();
    EXPECT_EQ(text.size(), limit);
    EXPECT_EQ(CountLines(text), 2u) << text;
    EXPECT_EQ(text.rfind(entry + last.substr(0, last.size() - 2) + " ", 0), 0u) << "blanks pad it to the limit";
    EXPECT_EQ(text.substr(text.size() - 3), " \r\n");
    EXPECT_TRUE(ErrorLogFull(OpenErrorLogForAppend(Directory()).Get(), limit));
}

TEST_F(ErrorLog, ReadOnlyFileLosesEntries) {
    MakeLogsFolder();
    const std::wstring file = Directory() + L"Logs\\Errors.log";
    ASSERT_TRUE(test::WriteWholeFile(file, ""));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    if (UniqueFile probe{
            CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)}) {
        GTEST_SKIP() << "read-only files stay writable here (Wine running as root)";
    }
    TThreadFileLog log(Directory(), clock_);
    log.Queue(1, 0, L"lost");
    ASSERT_TRUE(test::WaitFor([&] { return log.Handled() == 1; }, 10s));
    EXPECT_EQ(LogText(), "");
}

TEST_F(ErrorLog, AFileLinkedElsewhereIsNotWrittenThrough) {
    // Regression: a link planted as Errors.log must not redirect entries to another file.
    MakeLogsFolder();
    const std::wstring victim = temp_.Path() + L"victim.txt";
    ASSERT_TRUE(test::WriteWholeFile(victim, "precious\r\n"));
    if (!CreateHardLinkW((Directory() + L"Logs\\Errors.log").c_str(), victim.c_str(), nullptr))
        GTEST_SKIP() << "hard links are not available here";

    TThreadFileLog log(Directory(), clock_);
    log.Queue(1, 0, L"redirected");
    log.Queue(2, 0, L"redirected");
    ASSERT_TRUE(test::WaitFor([&] { return log.Handled() == 2; }, 10s));
    EXPECT_EQ(test::ReadWholeFile(victim), "precious\r\n");
}

TEST_F(ErrorLog, AFolderThatCannotBeCreatedLosesTheEntryQuietly) {
    // A file stands where the folder should be; once it is a folder, the log goes on.
    const std::wstring blocked = temp_.Path() + L"blocked";
    ASSERT_TRUE(test::WriteWholeFile(blocked, "x"));
    TThreadFileLog log(blocked + L"\\", clock_);
    log.Queue(1, 0, L"nowhere");
    ASSERT_TRUE(test::WaitFor([&] { return log.Handled() == 1; }, 10s));
    ASSERT_TRUE(DeleteFileW(blocked.c_str()));
    ASSERT_TRUE(CreateDirectoryW(blocked.c_str(), nullptr));
    log.Queue(2, 0, L"later");
    std::string text;
    EXPECT_TRUE(
        test::WaitFor([&] { return (text = test::ReadWholeFile(blocked + L"\\Logs\\Errors.log")).size(); }, 10s));
    EXPECT_EQ(text.find("nowhere"), std::string::npos);
    EXPECT_NE(text.find("] 2 later Err:0"), std::string::npos);
}

TEST(ErrorLogText, WideTextIsWrittenInTheSystemCodePage) {
    // Characters the code page cannot hold become its replacement, never a failure.
    EXPECT_EQ(ToAnsi(L"abc"), "abc");
    EXPECT_FALSE(ToAnsi(L"\u4E2D").empty());
    EXPECT_EQ(SystemMessageText(0x7FFFFFF0), L"");  // no such message
}

}  // namespace
}  // namespace pm
