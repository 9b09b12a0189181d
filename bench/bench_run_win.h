#pragma once
// How a benchmark ends. A sample that failed ends the run with a message and a
// non-zero status; it is never counted as a time. Under Wine's virtual desktop a
// program's exit code does not reach the shell, so the status is also written to the
// file PM_BENCH_STATUS names (scripts/bench reads it there).

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace bench {

// Appends one formatted line to the file the environment variable names, when it is
// set (also the soak program's table rows).
inline void AppendLine(const char* variable, const char* format, va_list args) {
    const char* path = std::getenv(variable);
    if (!path) return;
    if (FILE* file = std::fopen(path, "ab")) {
        std::vfprintf(file, format, args);
        std::fputc('\n', file);
        std::fclose(file);
    }
}

// One row of the figures table (Figure | Floor | Client | Ratio | Target | Met), for
// scripts/bench --markdown, which writes docs/performance.md from these rows, so no
// figure is copied by hand.
inline void Row(const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendLine("PM_BENCH_MARKDOWN", format, args);
    va_end(args);
}

// "yes" when the ratio is within the target, "**no**" otherwise.
inline const char* Met(double ratio, double target) {
    return ratio <= target ? "yes" : "**no**";
}

[[noreturn]] inline void Finish(int status) {
    std::fflush(stdout);
    if (const char* path = std::getenv("PM_BENCH_STATUS")) {
        if (FILE* file = std::fopen(path, "wb")) {
            std::fprintf(file, "%d\n", status);
            std::fclose(file);
        }
    }
    ExitProcess(UINT(status));
}

[[noreturn]] inline void Fail(const char* what) {
    std::printf("FAILED: %s\n", what);
    Finish(1);
}

// The sample, or the end of the run when it failed (a negative value).
inline double Sample(double value, const char* what) {
    if (value < 0) Fail(what);
    return value;
}

}  // namespace bench
