#pragma once
// COM on the user-interface thread, started where it is first needed (the shell's
// link object, the computer browser) rather than at start-up: a client that never
// needs it never loads it.

namespace pm {

// Starts COM, apartment-threaded, on the calling thread the first time; true when COM
// can be used there.
bool UseCom();

// Ends COM on the calling thread, if UseCom started it there.
void EndCom();

}  // namespace pm
