#pragma once
// Names and paths the client takes from the system, in the letter case used
// throughout: computer names in upper case, user names in lower case.

#include <windows.h>

#include <optional>
#include <string>

namespace pm {

// The computer's NetBIOS name in upper case; "" when the system cannot tell.
std::wstring LocalComputerName();

// The name of the calling thread's user in lower case; "" when the system cannot tell.
std::wstring LocalUserName();

// The per-user shell folder of the given index (8 is "Startup"), as stored under the
// current user's "Shell Folders" key, environment references left unexpanded.
// A missing key or value, or an index above 9, gives "".
// A value that exists with a non-string type is a failure: the result is empty and
// `error` (when given) receives "Invalid data type for '<value name>'".
std::optional<std::wstring> ShellFolderPath(unsigned index, std::wstring* error = nullptr);

inline constexpr unsigned kShellFolderStartup = 8;

// This computer's name, read once by InitThisComputer() at start-up and kept for the
// whole run even if the computer is renamed meanwhile. Read from any thread.
const std::wstring& ThisComputer();
void InitThisComputer();

// The SID (as text) of the account this process runs as, and of the default owner of
// the objects it creates (the Administrators group for an elevated administrator);
// "" when the token cannot be read.
std::wstring ProcessUserSid();
std::wstring ProcessDefaultOwnerSid();

// The owner of a kernel object (a mutex, a pipe) as SID text: nothing when its
// security cannot be read, "" when it names no owner that converts.
std::optional<std::wstring> ObjectOwnerSid(HANDLE object);

// DOMAIN\name of an account given as SID text, "" when the system finds none. May
// wait for a domain controller.
std::wstring AccountNameOfSid(const std::wstring& sid);

// Upper and lower case through the system's case tables (not only ASCII).
std::wstring ToUpper(std::wstring text);
std::wstring ToLower(std::wstring text);

}  // namespace pm
