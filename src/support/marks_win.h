#pragma once
// Start-up marks, for scripts/bench only: with the PM_MARKS build option the client
// notes when it reaches each step of its start-up, and writes the list (milliseconds
// since the process was created) to the file PM_MARKS_FILE names; a job request's way
// to its dialog is marked too, as steps named "dialog: ..." (the latest dialog's). Without the
// option every call is empty and compiles to nothing.

namespace pm::marks {

#ifdef PM_MARKS
// Notes the time of `step` (a string literal), the first time only (a dialog's step:
// the latest time); from any thread.
void Mark(const char* step);
// Writes the steps noted so far, when PM_MARKS_FILE is set.
void Write();
#else
inline void Mark(const char*) {}
inline void Write() {}
#endif

}  // namespace pm::marks
