#include "pipes/listener_win.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "auth/form_auth_win.h"
#include "auth/job_answer_win.h"
#include "auth/job_dialogs.h"
#include "messages/form_messages_win.h"
#include "pipes/message_codes.h"
#include "pipes/pipe_names.h"
#include "pipes/pipe_transport_win.h"
#include "pipes/send_message_win.h"
#include "shell/incoming_win.h"
#include "support/auth_fakes_win.h"
#include "support/error_log_win.h"
#include "support/job_request_win.h"
#include "support/machine_settings_win.h"
#include "support/names_win.h"
#include "support/peer_exchange_win.h"
#include "support/pipe_peer_win.h"
#include "support/process_win.h"
#include "support/product.h"
#include "support/registry_sandbox_win.h"
#include "support/registry_win.h"
#include "support/temp_folder_win.h"
#include "support/test_log_win.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

using test::Exchange;
using test::PeerResult;

std::vector<uint8_t> Code(uint32_t code) {
    return test::CodeBytes(code);
}

std::vector<uint8_t> Bytes(const RequestBytes& record, size_t size = kRequestRecordSize) {
    return std::vector<uint8_t>(record.begin(), record.begin() + size);
}

// DOMAIN\name of this process's account, as the system names it.
std::wstring OwnAccount() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    alignas(8) uint8_t buffer[256];
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
    CloseHandle(token);
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, name, &nameSize, domain, &domainSize,
                      &use);
    return std::wstring(domain) + L"\\" + name;
}

class Listener : public ::testing::Test {
protected:
    void SetUp() override {
        user_ = L"listener-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial_);
        handOver_.onText = [this](const std::wstring& text, const PeerIdentity& peer) {
            texts_.push_back(text);
            peers_.push_back(peer);
            if (onText_) onText_(text);
        };
        handOver_.onAuth = [this](const RequestBytes& record, const PeerIdentity& peer) {
            records_.push_back(DecodeRequest(record));
            peers_.push_back(peer);
        };
        handOver_.admit = &AdmitRequest;
        ASSERT_TRUE(handOver_.Create());
        messenger_ = std::make_unique<TMessenger>(ListenerPipeName(user_), handOver_);
        messenger_->Start();
    }
    void TearDown() override { messenger_.reset(); }

    // Runs `peer` on its own thread while this thread serves the hand-over.
    template <class F>
    auto Peer(F peer, std::chrono::milliseconds limit = 20s) {
        using Result = decltype(peer());
        Result result{};
        std::atomic<bool> done{false};
        std::thread thread([&] {
            result = peer();
            done = true;
        });
        test::PumpUntil([&] { return done.load(); }, limit);
        thread.join();
        // The peer has its reply before the request is handed over: let that arrive.
        test::PumpFor(std::chrono::milliseconds(150));
        return result;
    }
    PeerResult SendText(const std::wstring& text) {
        return Peer([&] { return Exchange(Pipe(), {Code(code::kTextMessage), Bytes(EncodeTextMessage(text))}); });
    }
    std::wstring Pipe() const { return ListenerPipeName(user_); }

    static inline int serial_ = 0;
    std::wstring user_;
    RequestHandOver handOver_;
    std::unique_ptr<TMessenger> messenger_;
    std::vector<std::wstring> texts_;
    std::vector<RequestRecord> records_;
    std::vector<PeerIdentity> peers_;  // of every request handed over
    std::function<void(const std::wstring&)> onText_;
};

TEST_F(Listener, TextIsAcknowledgedBeforeItIsHandedOver) {
    std::atomic<bool> peerHasReply{false};
    bool replyCameFirst = false;
    onText_ = [&](const std::wstring&) {
        // The handler holds the listener; the peer must already be able to read the ack.
        replyCameFirst = test::WaitFor([&] { return peerHasReply.load(); }, 3s);
    };
    const PeerResult r = Peer([&] {
        PeerResult result = Exchange(Pipe(), {Code(code::kTextMessage), Bytes(EncodeTextMessage(L"hello"))});
        peerHasReply = true;
        return result;
    });
    EXPECT_TRUE(r.replied);
    EXPECT_EQ(r.reply, code::kAck);
    EXPECT_TRUE(replyCameFirst);
    EXPECT_EQ(texts_, (std::vector<std::wstring>{L"hello"}));
    ASSERT_EQ(peers_.size(), 1u);
    EXPECT_EQ(peers_[0].account, OwnAccount()) << "the peer's account, as the system reports it";
    EXPECT_FALSE(peers_[0].anonymous);
}

TEST_F(Listener, TheReplyDoesNotWaitForTheSendersName) {
    // Regression: the name was looked up before the reply; a lookup that waits for a
    // domain controller made the print server give up, and its message came twice.
    SetAccountLookup([](const std::wstring&) {
        Sleep(4000);
        return std::wstring(L"SLOW\\name");
    });
    const PeerResult r = SendText(L"hello");
    SetAccountLookup(nullptr);
    EXPECT_EQ(r.reply, code::kAck);
    EXPECT_LT(r.seconds, 1.5) << "replied without waiting for the name";
    ASSERT_TRUE(test::PumpUntil([&] { return peers_.size() == 1; }, 5s));
    EXPECT_EQ(peers_[0].account.rfind(L"S-1-", 0), 0u) << "the SID stands for a name not found in time";
}

TEST_F(Listener, TextFillingAll261UnitsIsTakenWhole) {
    RequestBytes record{};
    for (size_t i = 0; i < 261; ++i)
        record[944 + 2 * i] = 'x';
    Peer([&] { return Exchange(Pipe(), {Code(code::kTextMessage), Bytes(record)}); });
    ASSERT_EQ(texts_.size(), 1u);
    EXPECT_EQ(texts_[0].size(), 261u);
}

TEST_F(Listener, AuthRequestsAreHandedOverEachOnItsOwn) {
    RequestRecord job = test::JobRequest(AuthPinCode, test::DayCountNow(), 5);
    job.PinCode = L"1234";
    for (int i = 0; i < 2; ++i) {
        const PeerResult r = Peer([&] {
            return Exchange(Pipe(), {Code(code::kAuthRequest), Bytes(EncodeRequest(job))});
        });
        EXPECT_EQ(r.reply, code::kAck);
    }
    ASSERT_EQ(records_.size(), 2u);
    EXPECT_EQ(records_[1].JobId, 5u);
}

TEST_F(Listener, AShortRecordCarriesNothingOfTheOneBefore) {
    // Regression: the receive buffer is cleared for every request.
    RequestRecord secret = test::JobRequest(AuthPinCode, test::DayCountNow(), 99);
    secret.PinCode = L"4711";
    secret.PrinterName = L"Secret printer";
    Peer([&] { return Exchange(Pipe(), {Code(code::kAuthRequest), Bytes(EncodeRequest(secret))}); });
    RequestRecord small = test::JobRequest();
    small.DocumentName = L"short";
    const PeerResult r = Peer([&] {
        return Exchange(Pipe(), {Code(code::kAuthRequest), Bytes(EncodeRequest(small), 700)});
    });
    EXPECT_EQ(r.reply, code::kAck) << "short records are still accepted";
    ASSERT_EQ(records_.size(), 2u);
    EXPECT_EQ(records_[1].DocumentName, L"short");
    EXPECT_EQ(records_[1].PinCode, L"");
    EXPECT_EQ(records_[1].JobId, 0u);
    EXPECT_EQ(records_[1].PrinterName, L"Laser");
}

TEST_F(Listener, FaultyPeersAreAnsweredAsDocumentedAndServingGoesOn) {
    // A code and then nothing, the end kept open: the failure reply after about five seconds.
    // (This peer waits longer for its reply than the listener waits for the record.)
    PeerResult r = Peer([&] { return Exchange(Pipe(), {Code(code::kTextMessage)}, true, 200); });
    EXPECT_TRUE(r.replied);
    EXPECT_EQ(r.reply, code::kReadFailure);
    EXPECT_GE(r.seconds, 4.0);
    EXPECT_LT(r.seconds, 9.0);

    // A code and the record in one write: the 4-byte read fails.
    std::vector<uint8_t> both = Code(code::kTextMessage);
    const RequestBytes record = EncodeTextMessage(L"x");
    both.insert(both.end(), record.begin(), record.end());
    r = Peer([&] { return Exchange(Pipe(), {both}); });
    EXPECT_EQ(r.reply, code::kReadFailure);

    // An unknown code: no reply, and the connection closed at once rather than when
    // the peer gives up waiting.
    r = Peer([&] { return Exchange(Pipe(), {Code(0x12345678)}); });
    EXPECT_TRUE(r.opened);
    EXPECT_FALSE(r.replied);
    EXPECT_LT(r.seconds, 2.0);

    // A peer that leaves at once frees the listener at once.
    Peer([&] { return Exchange(Pipe(), {}, false); });
    EXPECT_TRUE(texts_.empty());

    r = SendText(L"still here");
    EXPECT_EQ(r.reply, code::kAck);
    EXPECT_LT(r.seconds, 3.0);
    EXPECT_EQ(texts_, (std::vector<std::wstring>{L"still here"}));
}

TEST_F(Listener, EveryRecordAndCodeLengthGetsItsDocumentedReply) {
    // Records up to 1616 bytes are accepted (a short one is zero-filled); a longer
    // message fails the read. A code message of exactly 4 bytes is a code; a longer
    // one fails the read; a shorter one reads as an unknown code: no reply.
    for (uint32_t request : {code::kTextMessage, code::kAuthRequest}) {
        // The boundaries (every length is the soak's business): empty, tiny, around the
        // text field, around the record's size, past it.
        for (size_t length : {0, 1, 3, 4, 100, 944, 1466, 1467, 1614, 1615, 1616, 1617, 1618, 1700}) {
            std::vector<uint8_t> record(length, 0x41);
            const PeerResult r = Peer([&] { return Exchange(Pipe(), {Code(request), record}, true, 20); });
            ASSERT_TRUE(r.replied) << length;
            EXPECT_EQ(r.reply, length <= kRequestRecordSize ? code::kAck : code::kReadFailure) << length;
        }
    }
    for (size_t length = 0; length <= 8; ++length) {
        std::vector<uint8_t> codeBytes = Code(code::kTextMessage);
        codeBytes.resize(length, 0);
        const PeerResult r = Peer([&] { return Exchange(Pipe(), {codeBytes}, true, kPipeWaitInterval); });
        if (length > 4) {
            EXPECT_EQ(r.reply, code::kReadFailure) << length;
        } else if (length < 4) {
            EXPECT_FALSE(r.replied) << length;
            EXPECT_LT(r.seconds, 2.5) << length << ": closed at once, not after the peer's own wait of 5 s";
        }
    }
    const size_t accepted = texts_.size() + records_.size();
    EXPECT_EQ(SendText(L"after all that").reply, code::kAck);
    EXPECT_EQ(texts_.size() + records_.size(), accepted + 1);
}

TEST_F(Listener, StalledPeersDoNotKeepOthersOut) {
    // Regression: one connection at a time let a peer that sends a code and stalls,
    // reconnecting at once, keep every genuine peer out.
    std::atomic<bool> attacking{true};
    std::vector<std::thread> stallers;
    for (int i = 0; i < 5; ++i) {
        stallers.emplace_back([&] {
            while (attacking)
                Exchange(Pipe(), {Code(code::kTextMessage)}, true, 200);
        });
    }
    Sleep(300);
    for (int i = 0; i < 3; ++i) {
        const PeerResult r = SendText(L"genuine " + std::to_wstring(i));
        EXPECT_EQ(r.reply, code::kAck) << i;
        EXPECT_LT(r.seconds, 2.0) << i;
    }
    attacking = false;
    test::PumpUntil([&] { return texts_.size() == 3; }, 10s);
    for (std::thread& t : stallers)
        t.join();
    EXPECT_EQ(texts_, (std::vector<std::wstring>{L"genuine 0", L"genuine 1", L"genuine 2"}));
}

TEST_F(Listener, OneProcessPastItsShareIsCutTheMomentItArrives) {
    // Regression: reconnecting stalled peers past the pool kept every genuine peer out.
    std::vector<UniqueFile> held(TMessenger::kPeerShare);
    for (UniqueFile& peer : held) {
        ASSERT_TRUE(test::OpenPatiently(Pipe(), peer));
        test::PumpFor(20ms);
    }
    UniqueFile extra;
    ASSERT_TRUE(test::OpenPatiently(Pipe(), extra));
    uint8_t reply[4];
    const auto start = Clock::now();
    EXPECT_FALSE(ReadPipe(extra.Get(), reply, 4));
    EXPECT_LT(Seconds(start), 1.0) << "cut at once, not after the read bound";
    EXPECT_GE(messenger_->CutConnections(), 1);
    held.clear();
    EXPECT_EQ(SendText(L"after the share").reply, code::kAck);
}

TEST_F(Listener, AHandOverMessageFromElsewhereIsIgnored) {
    // Regression: the hand-over message carried a pointer that any program on the
    // desktop could send, and the window dereferenced it.
    std::thread stranger([&] { SendMessageW(handOver_.Handle(), WM_APP + 0x20, code::kTextMessage, 0x12345678); });
    test::PumpFor(200ms);
    stranger.join();
    EXPECT_TRUE(texts_.empty());
    EXPECT_EQ(SendText(L"real").reply, code::kAck);
    EXPECT_EQ(texts_, (std::vector<std::wstring>{L"real"}));
}

TEST_F(Listener, APeerThatNeverReadsTheReplyIsCutOffAfterAboutFiveSeconds) {
    // Regression: an unbounded flush would let such a peer hold its connection for good.
    std::atomic<bool> cutOff{false};
    std::thread stubborn([&] {
        UniqueFile handle;
        if (!OpenPipe(Pipe(), handle)) return;
        WriteCode(handle.Get(), code::kTextMessage);
        const RequestBytes record = EncodeTextMessage(L"never reads");
        WritePipe(handle.Get(), record.data(), DWORD(record.size()));
        Sleep(TMessenger::kReplyReadWait + 2000);  // keeps its end open without reading, past the listener's wait
        // Cut off, the unread reply went with the connection.
        uint8_t reply[4];
        cutOff = !ReadPipe(handle.Get(), reply, 4, 20);
    });
    ASSERT_TRUE(test::PumpUntil([&] { return texts_.size() == 1; }, 5s)) << "the stubborn peer never got in";
    EXPECT_EQ(SendText(L"served").reply, code::kAck);
    EXPECT_EQ(texts_.back(), L"served");
    test::PumpUntil([&] { return cutOff.load(); }, 15s);
    stubborn.join();
    EXPECT_TRUE(cutOff);
}

TEST_F(Listener, SendUserMessageDeliversThroughTheListenerCutTo260) {
    const std::wstring text(300, L'w');
    const bool sent = Peer([&] { return SendUserMessage(2, L".", user_, text); });
    EXPECT_TRUE(sent);
    ASSERT_EQ(texts_.size(), 1u);
    EXPECT_EQ(texts_[0], std::wstring(260, L'w'));
}

TEST(SendUserMessage, AUserWithoutAClientGivesFalseAndOneLogEntry) {
    test::TestLogFolder();
    const auto start = Clock::now();
    EXPECT_FALSE(SendUserMessage(2, L".", L"nobody-runs-here", L"hi"));
    const double seconds = Seconds(start);
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 5.0);
    EXPECT_FALSE(SendThroughMessenger(L".", L"hi")) << "the messaging service is not there under Wine";
    EXPECT_TRUE(test::WaitFor(
        [] {
            return test::TestLogText().find("] 0 InformUser: \\\\.\\PIPE\\PrintMirovant-nobody-runs-here Err:") !=
                   std::string::npos;
        },
        5s))
        << test::TestLogText();
}

TEST(PipeSecurity, ANameServedByAnotherAccountIsNotJoined) {
    // Regression: the client created its instances beside a squatter's, which then read
    // some of the requests, and the user was never told.
    const std::wstring name = test::UniquePipeName(L"squatted");
    constexpr wchar_t kStranger[] = L"S-1-5-21-1111-2222-3333-4444";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        (std::wstring(L"O:") + kStranger + L"D:(A;;GA;;;WD)").c_str(), SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
    const UniqueFile squatter(
        CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 100, 4096, 4096, 1000, &security));
    ASSERT_TRUE(squatter);
    RequestHandOver handOver;
    std::wstring reported;
    handOver.onPipeTaken = [&](const std::wstring& owner) { reported = owner; };
    ASSERT_TRUE(handOver.Create());
    TMessenger messenger(name, handOver);
    messenger.Start();
    EXPECT_TRUE(test::PumpUntil([&] { return !reported.empty(); }, 5s));
    EXPECT_EQ(reported, kStranger);
    EXPECT_EQ(messenger.LiveInstances(), 0);

    // Regression: a squatter whose every instance was kept busy was tried for ever,
    // and nobody was told. A second instance, and both held by peers.
    const UniqueFile second(
        CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 100, 4096, 4096, 1000, &security));
    std::vector<UniqueFile> busy;
    for (int i = 0; i < 4; ++i) {
        UniqueFile peer(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!peer) break;
        busy.push_back(std::move(peer));
    }
    ASSERT_EQ(GetLastError(), DWORD(ERROR_PIPE_BUSY));
    LocalFree(descriptor);
    reported.clear();
    TMessenger later(name, handOver);
    later.busyReport = 300;
    later.Start();
    EXPECT_TRUE(test::PumpUntil([&] { return !reported.empty(); }, 5s));
    EXPECT_EQ(later.LiveInstances(), 0);
}

TEST(PipeSecurity, TheAccessListIsTheIntendedOne) {
    ASSERT_NE(PipeSecurity(), nullptr);
    EXPECT_FALSE(PipeSecurity()->bInheritHandle);
    const std::wstring name = test::UniquePipeName(L"security");
    const UniqueFile pipe(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                           PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 100, 4096, 4096, 1000,
                                           PipeSecurity()));
    ASSERT_TRUE(pipe);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    ASSERT_EQ(GetSecurityInfo(pipe.Get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor),
              ERROR_SUCCESS);
    wchar_t* sddl = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &sddl, nullptr));
    const std::wstring text = sddl;
    LocalFree(sddl);
    LocalFree(descriptor);
    EXPECT_EQ(text.rfind(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;S-1-", 0), 0u) << std::string(text.begin(), text.end());
    EXPECT_NE(text.find(L"(A;;0x12019b;;;WD)(A;;0x12019b;;;AN)"), std::wstring::npos)
        << std::string(text.begin(), text.end());
}

TEST(PipeSecurity, OthersMayReadAndWriteButNotAddInstancesOrRewriteTheList) {
    // The anonymous logon stands for every account that is not the user, an
    // administrator or the system (a remote service may come as anonymous too).
    HANDLE anonymous = nullptr;
    if (!ImpersonateAnonymousToken(GetCurrentThread()) ||
        !OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_IMPERSONATE | TOKEN_DUPLICATE, TRUE, &anonymous)) {
        RevertToSelf();
        GTEST_SKIP() << "no anonymous token here (error " << GetLastError() << ")";
    }
    RevertToSelf();
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    auto granted = [&](DWORD desired) {
        PRIVILEGE_SET privileges;
        DWORD privilegesSize = sizeof privileges, access = 0;
        BOOL status = FALSE;
        return AccessCheck(PipeSecurity()->lpSecurityDescriptor, anonymous, desired, &mapping, &privileges,
                           &privilegesSize, &access, &status) &&
               status;
    };
    EXPECT_TRUE(granted(FILE_READ_DATA | FILE_WRITE_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE));
    EXPECT_FALSE(granted(FILE_CREATE_PIPE_INSTANCE));
    EXPECT_FALSE(granted(WRITE_DAC));
    EXPECT_FALSE(granted(WRITE_OWNER));
    CloseHandle(anonymous);
}

// The listener's requests reaching the real windows.
class Incoming : public Listener {
protected:
    void SetUp() override {
        Listener::SetUp();
        handOver_.onText = [this](const std::wstring& text, const PeerIdentity& peer) {
            texts_.push_back(text);
            ShowTextMessage(text, peer);
        };
        handOver_.onAuth = &ShowAuthRequest;
        delete TFormMessages::Instance();  // a fresh one: no messages left from another test
        window_ = TFormMessages::Create();
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        Listener::TearDown();
        while (HWND h = FindWindowW(TFormAuth::kClassName, nullptr))
            DestroyWindow(h);
        SetTextMessageHook({});
    }
    test::RegistrySandbox sandbox_;
    TFormMessages* window_ = nullptr;
};

TEST_F(Incoming, ASecondMessageReplacesTheFirstAndEnablesViewMessages) {
    int hookCalls = 0;
    SetTextMessageHook([&] { ++hookCalls; });
    SendText(L"first");
    EXPECT_EQ(window_->Message(), L"first");
    EXPECT_TRUE(IsWindowVisible(window_->Handle()));
    SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(window_->Handle())) << "closing only hides it";
    SendText(L"second");
    EXPECT_EQ(window_->Message(), L"second");
    EXPECT_EQ(hookCalls, 2);
}

TEST_F(Incoming, TheSenderLineIsTheSystemsWordNotTheTexts) {
    SendText(L"From: Administrator\r\nYour print account is locked");
    EXPECT_EQ(window_->SenderLine(), L"From: " + OwnAccount());
    EXPECT_EQ(window_->Message(), L"From: Administrator\r\nYour print account is locked");
    const struct {
        PeerIdentity peer;
        const wchar_t* line;
    } cases[] = {
        {{L"CORP\\anna", L"WS-12", false}, L"From: CORP\\anna on WS-12"},
        {{L"", L"", true}, L"From: anonymous"},
        {{}, L"sender not identified"},
    };
    for (const auto& c : cases) {
        ShowTextMessage(L"hi", c.peer);
        EXPECT_EQ(window_->SenderLine(), c.line);
    }
}

TEST_F(Incoming, AFloodBuriesNoMessageWithinTheBound) {
    // Regression: each message replaced the one shown, so a flood overwrote a genuine one within milliseconds.
    const HWND window = window_->Handle();
    auto more = [&] { return ui::WindowText(GetDlgItem(window, TFormMessages::kIdMore)); };
    auto dismiss = [&](size_t count) {
        for (size_t i = 0; i < count; ++i)
            SendMessageW(window, WM_COMMAND, i % 2 ? IDOK : IDCANCEL, 0);
    };
    window_->Receive(L"genuine", {L"CORP\\anna", L"WS-12", false});
    for (int i = 0; i < 20; ++i)
        window_->Receive(L"flood", {});
    EXPECT_EQ(more(), L"20 more unread");
    dismiss(20);
    EXPECT_EQ(window_->Message(), L"genuine");
    EXPECT_EQ(window_->SenderLine(), L"From: CORP\\anna on WS-12");
    for (size_t i = 0; i < TFormMessages::kMaxUnread; ++i)
        window_->Receive(std::to_wstring(i), {});
    EXPECT_EQ(more(), std::to_wstring(TFormMessages::kMaxUnread - 1) + L" more unread") << "the oldest went";
    dismiss(TFormMessages::kMaxUnread - 1);
    EXPECT_EQ(window_->Message(), L"0");
    EXPECT_EQ(more(), L"");
    dismiss(1);
    EXPECT_FALSE(IsWindowVisible(window)) << "hidden when none is left";
    EXPECT_EQ(window_->Message(), L"0") << "kept for View Messages";
}

TEST_F(Incoming, AFloodTakesTheFocusAtMostOnceASecond) {
    // Regression: every message of a flood took the focus and beeped.
    ULONGLONG now = 10'000;
    window_->SetTicks([&] { return now; });
    const HWND other =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    window_->Receive(L"first", {});
    SetActiveWindow(other);
    now += 999;
    window_->Receive(L"second", {});
    EXPECT_EQ(GetActiveWindow(), other);
    now += 1;
    window_->Receive(L"third", {});
    EXPECT_EQ(GetActiveWindow(), window_->Handle());
    // Closed within the second, it comes back at the end of it.
    SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
    now += 999;
    window_->Receive(L"fourth", {});
    EXPECT_FALSE(IsWindowVisible(window_->Handle()));
    EXPECT_TRUE(test::PumpUntil([&] { return IsWindowVisible(window_->Handle()) != FALSE; }));
    DestroyWindow(other);
}

int CountAuthDialogs() {
    int dialogs = 0;
    EnumWindows(
        [](HWND h, LPARAM count) -> BOOL {
            wchar_t name[64];
            GetClassNameW(h, name, 64);
            if (wcscmp(name, TFormAuth::kClassName) == 0) ++*reinterpret_cast<int*>(count);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

RequestBytes Job(uint32_t id, const wchar_t* server = L"PS1") {
    RequestRecord job = test::JobRequest(AuthCurrentUser, test::DayCountNow(), id);
    job.ServerComputer = server;
    return EncodeRequest(job);
}

TEST_F(Incoming, OneDialogPerJobAndAtMost32) {
    // Regression: every request opened a dialog of its own, the same job twice included,
    // so a flood of requests buried the desktop and grew the process without bound.
    test::TestLogFolder();
    for (int i = 0; i < 2; ++i)
        Peer([&] { return Exchange(Pipe(), {Code(code::kAuthRequest), Bytes(Job(1, L"ps1"))}); });
    EXPECT_EQ(CountAuthDialogs(), 1) << "the same job (server names compare without case) opens once";
    // Created rather than shown: on a desktop without a window manager each show waits.
    // A trusted print server's: no account's share applies.
    AuthDialogArgs trusted;
    trusted.trusted = true;
    for (uint32_t id = 2; id <= JobDialogs::kLimit; ++id)
        ASSERT_NE(TFormAuth::Create(Job(id), trusted), nullptr);
    ShowAuthRequest(Job(JobDialogs::kLimit + 1), {});
    ShowAuthRequest(Job(JobDialogs::kLimit + 2), {});
    EXPECT_EQ(CountAuthDialogs(), int(JobDialogs::kLimit));
    const PeerIdentity self{OwnAccount(), {}, false, ProcessUserSid()};  // as the listener identifies it
    EXPECT_FALSE(AdmitRequest(code::kAuthRequest, Job(99), self)) << "refused before the acknowledgement";
    EXPECT_TRUE(AdmitRequest(code::kAuthRequest, Job(1), self)) << "an open job only comes to the front";
    EXPECT_FALSE(AdmitRequest(code::kAuthRequest, Job(1), {})) << "another account's request for it is a new job";
    EXPECT_TRUE(AdmitRequest(code::kTextMessage, EncodeTextMessage(L"hi"), {}));
    const PeerResult refused = Peer([&] { return Exchange(Pipe(), {Code(code::kAuthRequest), Bytes(Job(100))}); });
    EXPECT_EQ(refused.reply, code::kReadFailure);
    test::PumpFor(300ms);
    const std::string log = test::TestLogText();
    const size_t first = log.find("] 182 JobRequest: 32 dialogs open");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("] 182 ", first + 1), std::string::npos) << "one entry per burst:\n" << log;
}

TEST_F(Incoming, ARepeatedJobComesToTheFrontWhereTheUserWas) {
    // Regression: raised again, the dialog took the focus back to the password box.
    ShowAuthRequest(Job(7), {});
    const HWND dialog = FindWindowW(TFormAuth::kClassName, nullptr);
    ASSERT_NE(dialog, nullptr);
    SetFocus(GetDlgItem(dialog, IDCANCEL));
    ShowAuthRequest(Job(7), {});
    EXPECT_EQ(CountAuthDialogs(), 1);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDCANCEL));
}

TEST_F(Incoming, AJobFromAServerOutsidePrintServersOpensNothing) {
    test::TestLogFolder();
    UniqueKey key = reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::ReadWrite);
    ASSERT_TRUE(reg::WriteString(key.Get(), kPrintServersValue, L" PS1 ; .;"));
    ShowAuthRequest(Job(1, L"EVIL\r\n[forged]"), {});
    EXPECT_EQ(CountAuthDialogs(), 0);
    EXPECT_TRUE(test::WaitFor(
        [] {
            return test::TestLogText().find("] 181 JobRequest: print server not allowed: EVIL??[forged] Err:0") !=
                   std::string::npos;
        },
        5s))
        << test::TestLogText();
    // A burst of refusals leaves that one entry: a flood cannot fill the log.
    for (uint32_t id = 10; id < 1010; ++id)
        ShowAuthRequest(Job(id, L"EVIL"), {});
    test::PumpFor(300ms);
    EXPECT_EQ(test::TestLogText().find("] 181 JobRequest: print server not allowed: EVIL Err"), std::string::npos);
    ShowAuthRequest(Job(2, L"ps1"), {});
    ShowAuthRequest(Job(3, L"."), {});
    EXPECT_EQ(CountAuthDialogs(), 2);
    // Group policy's list wins over the product key's.
    UniqueKey policy = reg::OpenKey(HKEY_LOCAL_MACHINE, kPolicyKey, reg::Access::ReadWrite);
    ASSERT_TRUE(reg::WriteString(policy.Get(), kPrintServersValue, L"PS1"));
    ShowAuthRequest(Job(4, L"."), {});
    EXPECT_EQ(CountAuthDialogs(), 2);
}

TEST_F(Incoming, PrintServerAccountsLetsOnlyTheNamedAccountsAsk) {
    test::TestLogFolder();
    UniqueKey key = reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::ReadWrite);
    ASSERT_TRUE(reg::WriteString(key.Get(), kPrintServerAccountsValue, L"CORP\\svc-print"));
    Peer([&] { return Exchange(Pipe(), {Code(code::kAuthRequest), Bytes(Job(1))}); });
    test::PumpFor(300ms);
    EXPECT_EQ(CountAuthDialogs(), 0);
    const std::wstring account = OwnAccount();
    const std::string logged(account.begin(), account.end());  // an ASCII name under Wine
    EXPECT_NE(test::TestLogText().find("] 183 JobRequest: account not allowed: " + logged), std::string::npos)
        << test::TestLogText();

    std::wstring own = account;
    for (wchar_t& c : own)
        c = wchar_t(towlower(c));
    ASSERT_TRUE(reg::WriteString(key.Get(), kPrintServerAccountsValue, L"CORP\\svc-print; " + own + L" "));
    Peer([&] { return Exchange(Pipe(), {Code(code::kAuthRequest), Bytes(Job(2))}); });
    ASSERT_TRUE(test::WaitFor([] { return CountAuthDialogs() == 1; }, 5s));
    const HWND dialog = FindWindowW(TFormAuth::kClassName, nullptr);
    EXPECT_EQ(ui::WindowText(GetDlgItem(dialog, TFormAuth::kIdRequesterLabel)), L"Requested by:");
    EXPECT_EQ(ui::WindowText(GetDlgItem(dialog, TFormAuth::kIdRequester)), OwnAccount());
}

}  // namespace
}  // namespace pm
