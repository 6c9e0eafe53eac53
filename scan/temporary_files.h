// Files written whole or not at all. A file is written without a name (O_TMPFILE) and given its
// name only once complete, so a run that is killed while writing leaves nothing behind. Where the
// file system cannot make a nameless file, it is written under a hidden temporary name that
// carries the writer's process id, ".NAME.PID.N", and renamed at the end; such a name left by a
// killed run is removed by the next run that writes into the same directory.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace marrowfen::scan {

// A file being written, not yet under its final name.
struct PendingFile {
  int fd = -1;                // open for writing
  std::string temporaryPath;  // its hidden name, or empty when it has none yet (O_TMPFILE)
};

// Opens a pending file in the directory of `destination` with the mode of an ordinary new file.
// Nothing and the system's reason in `error` when it cannot.
std::optional<PendingFile> createPendingFile(const std::string& destination, mode_t mode,
                                             std::string& error);

// Gives the written file the name `destination`, replacing a file of that name in one step. Call
// with everything written and flushed but the descriptor still open (a nameless file is reached
// through it). The system's reason when that fails; the pending file is then gone.
std::optional<std::string> commitPendingFile(const PendingFile& file,
                                             const std::string& destination);

// Removes the pending file (the descriptor is closed by the caller).
void discardPendingFile(const PendingFile& file);

// The hidden name a file NAME is written under by process `pid`: ".NAME.PID.SERIAL".
std::string temporaryFileName(const std::string& name, pid_t pid, unsigned serial);

// Removes from `directory` the temporary files of writers that are gone: ".NAME.PID.SERIAL" whose
// process no longer runs, and ".NAME.XXXXXX" (six letters or digits, the form earlier versions
// wrote) older than ten minutes, where NAME is a rendered page's file name. Touches nothing else.
void removeStaleTemporaryFiles(const std::string& directory);

}  // namespace marrowfen::scan
