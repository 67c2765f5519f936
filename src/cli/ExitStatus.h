#pragma once

// What the program's exit status tells a script.
namespace ExitStatus {
inline constexpr int Done = 0;
inline constexpr int No = 1; // the answer is "no": no proxy rows, a dead address, a cut whois answer
inline constexpr int Usage = 2; // the command line was refused
inline constexpr int Unreachable = 3; // the site or the server could not be reached
inline constexpr int FileFailure = 4; // the list or a page could not be stored
inline constexpr int LocalShortage = 5; // this machine ran short (open files, memory) even doing one thing at a time
// Ctrl+C, as a shell reports a program ended by SIGINT; a SIGTERM or a SIGHUP that stops a
// command gives 128 + its number the same way: 143 and 129.
inline constexpr int Stopped = 130;
} // namespace ExitStatus
