#pragma once
// Every text the client shows: its section and key in a language file and its
// built-in English text. Windows name the entry they show; no default text is
// typed anywhere else. Decorations (a colon after a label, the blanks around a
// group box title) are added by the window, never stored here.

#include <span>

namespace pm {

struct TextKey {
    const wchar_t* section;
    const wchar_t* key;
    const wchar_t* defaultText;
};

namespace text {

// Global: the tray menu and texts shared by several windows.
// Not a text: "1" when the language is written right to left, which mirrors every window.
inline constexpr TextKey kRightToLeft{L"Global", L"RightToLeft", L"0"};
inline constexpr TextKey kSendMessage{L"Global", L"strSendMessage", L"&Send Message..."};
inline constexpr TextKey kViewMessages{L"Global", L"strViewMessages", L"&View Messages..."};
inline constexpr TextKey kAccountInfo{L"Global", L"strAccountInfo", L"Account &Info..."};
inline constexpr TextKey kOptions{L"Global", L"strOptions", L"&Options"};
inline constexpr TextKey kStartWithWindows{L"Global", L"strStartWithWindows", L"Start with &Windows"};
inline constexpr TextKey kAbout{L"Global", L"strAbout", L"&About..."};
inline constexpr TextKey kExit{L"Global", L"strExit", L"E&xit"};
// One key, two defaults: the product caption (Japanese only) and the about window's name.
inline constexpr TextKey kCaptionProfessional{L"Global", L"CaptionProfessional", L"Print Mirovant Pro"};
inline constexpr TextKey kCaptionProfessionalAbout{L"Global", L"CaptionProfessional", L"Print Mirovant"};
inline constexpr TextKey kMessages{L"Global", L"strMessages", L"Messages"};
// "strOK" and "strOk" are one key: keys match without regard to case.
inline constexpr TextKey kOk{L"Global", L"strOK", L"OK"};
inline constexpr TextKey kCancel{L"Global", L"strCancel", L"Cancel"};
inline constexpr TextKey kComputer{L"Global", L"strComputer", L"&Computer"};
inline constexpr TextKey kUsername{L"Global", L"strUsername", L"&Username"};
inline constexpr TextKey kMessage{L"Global", L"strMessage", L"&Message"};
inline constexpr TextKey kSend{L"Global", L"strSend", L"&Send"};
inline constexpr TextKey kClose{L"Global", L"strClose", L"C&lose"};
inline constexpr TextKey kError{L"Global", L"strError", L"Error"};
inline constexpr TextKey kInformation{L"Global", L"strInformation", L"Information"};
inline constexpr TextKey kYes{L"Global", L"strYes", L"Yes"};
inline constexpr TextKey kNo{L"Global", L"strNo", L"No"};
// Who sent a message or asked for a job: "From: CORP\anna on WS-12".
inline constexpr TextKey kFrom{L"Global", L"strFrom", L"From"};
inline constexpr TextKey kPeerOn{L"Global", L"strOnComputer", L"on"};
inline constexpr TextKey kPeerAnonymous{L"Global", L"strAnonymous", L"anonymous"};
// The system could not tell who connected (or the peer hid who it is).
inline constexpr TextKey kPeerUnknown{L"Global", L"strUnknownSender", L"sender not identified"};
// Under the message window's text: how many messages wait behind the one shown ("%" is the count).
inline constexpr TextKey kMoreMessages{L"Global", L"strMoreMessages", L"% more unread"};

// Messages: message-box texts.
inline constexpr TextKey kSelfMessage{L"Messages", L"strSelfMessage", L"You cannot send messages to yourself!"};
inline constexpr TextKey kEmptyMessage{L"Messages", L"strEmptyMessage", L"You cannot send empty message!"};
inline constexpr TextKey kMessageSent{L"Messages", L"strMessageSent", L"The message is sent!"};
inline constexpr TextKey kMessageNotSent{L"Messages", L"strMessageNotSent", L"The message is not sent!"};
inline constexpr TextKey kPasswordIncorrect{L"Messages", L"strPasswordIncorrect",
                                            L"Your password is incorrect. Please type your password again."};
inline constexpr TextKey kLoginIncorrect{L"Messages", L"strLoginIncorrect",
                                         L"Your password is incorrect. Make sure your User name and domain are "
                                         L"correct (Domain\\User), then type your password again."};
inline constexpr TextKey kPinCodeIncorrect{L"Messages", L"strPINCodeIncorrect",
                                           L"PIN code is incorrect. Please type PIN code again."};
// Shown once when another account serves the client's pipe name.
inline constexpr TextKey kPipeTaken{
    L"Messages", L"strPipeTaken",
    L"Another account is already serving the pipe that brings your print jobs and messages. Until it stops, held print "
    L"jobs and messages cannot reach you; tell your administrator. The client keeps trying."};

// The about window.
inline constexpr TextKey kAboutCaption{L"WindowAbout", L"Caption", L"About"};
inline constexpr TextKey kAboutVersion{L"WindowAbout", L"strVersion", L"Version:"};
inline constexpr TextKey kAboutDate{L"WindowAbout", L"strDate", L"Date:"};
inline constexpr TextKey kAboutRights{L"WindowAbout", L"strRights", L"All rights reserved."};

// The account information window and the values it shows.
inline constexpr TextKey kAccountCaption{L"WindowAccountInfo", L"Caption", L"Account Info"};
inline constexpr TextKey kAccountPrintServer{L"WindowAccountInfo", L"strPrintServer", L"Print Server"};
inline constexpr TextKey kAccountBalance{L"WindowAccountInfo", L"strBalance", L"Balance"};
inline constexpr TextKey kAccountRestriction{L"WindowAccountInfo", L"strRestriction", L"Restriction"};
inline constexpr TextKey kAccountUpdating{L"WindowAccountInfo", L"strUpdating", L"Date of updating"};
inline constexpr TextKey kInfoPages{L"WindowInformation", L"strPages", L"Pages"};
inline constexpr TextKey kInfoUnlimited{L"WindowInformation", L"strUnlimited", L"Unlimited"};

// The authentication dialog.
inline constexpr TextKey kAuthCaption{L"WindowAuthentication", L"Caption", L"Authentication"};
inline constexpr TextKey kAuthJobInformation{L"WindowAuthentication", L"strPrintJobInformation",
                                             L"Print Job Information"};
inline constexpr TextKey kAuthDate{L"WindowAuthentication", L"strDate", L"Date"};
inline constexpr TextKey kAuthDocument{L"WindowAuthentication", L"strDocument", L"Document"};
inline constexpr TextKey kAuthPrinter{L"WindowAuthentication", L"strPrinter", L"Printer"};
inline constexpr TextKey kAuthColor{L"WindowAuthentication", L"strColor", L"Color"};
inline constexpr TextKey kAuthPaperSize{L"WindowAuthentication", L"strPaperSize", L"Paper Size"};
inline constexpr TextKey kAuthPages{L"WindowAuthentication", L"strPages", L"Pages"};
inline constexpr TextKey kAuthCopies{L"WindowAuthentication", L"strCopies", L"Copies"};
inline constexpr TextKey kAuthCost{L"WindowAuthentication", L"strCost", L"Cost"};
inline constexpr TextKey kAuthRequestedBy{L"WindowAuthentication", L"strRequestedBy", L"Requested by"};
// The computer the job's answer goes to.
inline constexpr TextKey kAuthAnswerTo{L"WindowAuthentication", L"strAnswerTo", L"Answer goes to"};
inline constexpr TextKey kAuthUsername{L"WindowAuthentication", L"strUsername", L"&Username"};
inline constexpr TextKey kAuthPassword{L"WindowAuthentication", L"strPassword", L"&Password"};
inline constexpr TextKey kAuthPinCode{L"WindowAuthentication", L"strPINCode", L"&PIN Code"};
inline constexpr TextKey kAuthDelete{L"WindowAuthentication", L"strDelete", L"&Delete"};
// The first "%" becomes the time left, minutes ":" two-digit seconds.
inline constexpr TextKey kAuthJobDeletion{L"WindowAuthentication", L"strPrintJobDeletion",
                                          L"Print Job will be deleted in:  % minutes"};

// The print-server selection window.
inline constexpr TextKey kConnectCaption{L"WindowConnect", L"Caption", L"Connect"};
inline constexpr TextKey kConnectComputer{L"WindowConnect", L"strComputer", L"&Computer"};
inline constexpr TextKey kConnectLocalHost{L"WindowConnect", L"strLocalHost", L"local host"};

}  // namespace text

// Every entry above, in order (kCaptionProfessionalAbout shares its key with kCaptionProfessional).
std::span<const TextKey> AllTexts();

}  // namespace pm
