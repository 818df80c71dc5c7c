// The command-line tool's exit codes, one meaning each, so that scripts can tell a refused
// command line from a failed device or file and from a run the user stopped.
#pragma once

namespace corvex::cli {

inline constexpr int kExitOk = 0;          // the command did what it said
inline constexpr int kExitFailed = 1;      // a camera, telescope, file or disk fault
inline constexpr int kExitUsage = 2;       // bad arguments, refused before any work was done
inline constexpr int kExitCancelled = 130;  // stopped by Ctrl-C (or a Stop) before it ended

}  // namespace corvex::cli
