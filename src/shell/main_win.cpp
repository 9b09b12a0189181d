// The program entry: start-up values, the single-instance guard, the two long-lived
// windows and the message loop.

#include <windows.h>

#include "auth/job_answer_win.h"
#include "messages/form_messages_win.h"
#include "shell/form_mirovant_win.h"
#include "shell/single_instance_win.h"
#include "support/com_win.h"
#include "support/error_log_win.h"
#include "support/install_dir_win.h"
#include "support/marks_win.h"
#include "support/module_win.h"
#include "support/names_win.h"
#include "support/product.h"
#include "ui/application_win.h"
#include "ui/message_loop_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace pm;
    marks::Mark("the entry point");
    // Before anything loads a DLL: none is taken from the program's folder or the
    // current one, where a DLL with a system DLL's name could have been planted.
    RestrictDllSearch();
    InitInstallDirectory();
    InitThisComputer();
    InitErrorLog(InstallDirectory());

    SingleInstance instance(LocalUserName());
    // A second copy of the same user has told the first one and ends without a window.
    if (!instance.IsFirstInstance()) return 0;
    marks::Mark("installation directory, names, error log, single-instance guard");
    // Closed by the Restart Manager for an upgrade, the client is started again in
    // each session; not after a crash, a hang or a reboot (the next logon starts it).
    RegisterApplicationRestart(L"", RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);

    ui::Application& application = ui::Application::Instance();
    if (!application.Create(ProductCaption())) return 1;
    marks::Mark("the application window (the first window)");
    application.SetActivationMessage(instance.ActivationMessage());

    TFormMirovant mainForm;
    if (!mainForm.Create(application.Handle())) return 1;
    application.SetMainForm(mainForm.Handle());
    application.onMinimize = [&] { mainForm.ApplicationEventsMinimize(); };
    TFormMessages::Create();
    // Only now are requests run: each finds its window and its language.
    mainForm.HandRequestsOver();
    marks::Mark("the message window; requests handed over");
    marks::Write();

    const int exitCode = ui::RunMessageLoop([&] { mainForm.ApplicationEventsIdle(); });
    // An answer the user gave just before leaving still reaches its print server.
    FinishJobAnswers(5000);
    EndCom();
    return exitCode;
}
