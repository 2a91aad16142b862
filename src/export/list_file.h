#pragma once

// Saving the result list as text files in the program directory, and clearing it.
//
// File contents are GBK, every line ending in CR LF, no byte-order mark. File names are
// UTF-8 on disk ("已采集网址4.txt"), N being the number of rows plus one.

#include <filesystem>
#include <string>
#include <string_view>

#include "harvest/window.h"
#include "text/text.h"

namespace sh::exporting {

using sh::harvest::ResultList;
using sh::harvest::Window;
using sh::text::Bytes;
using sh::text::Text;

// Whether opening a FIFO that nobody reads yet may wait for a reader. The command line
// waits, as a shell's redirection does; the window must never block, so there a FIFO
// without a reader is a failure (ENXIO).
enum class FifoWait : bool { No, Yes };

// Puts exactly `data` where `file` leads, never damaging what was there before:
// - A regular file, or nothing yet: the bytes go to a temporary file with a short name
//   in the same directory (so a name of up to 255 bytes still works), which is flushed
//   to disk and then renamed over the target. On failure the target is left byte for
//   byte as it was and no temporary file remains. A replaced file keeps its permission
//   bits; a new one gets 0644 less the umask (the process-wide umask is never touched,
//   so other threads creating files are not disturbed).
// - A symbolic link: the same for the file that the chain of links finally names; the
//   links stay as they are. A dangling link creates its target.
// - One of the process's own descriptors (/dev/stdout, /dev/fd/N, /proc/self/fd/N): the
//   bytes are written to that descriptor.
// - A character or block device, a FIFO or a socket: the bytes are written straight
//   into it; nothing is replaced.
// Returns the reason on failure (strerror text), empty on success.
std::string writeFileAtomically(const std::filesystem::path& file, std::string_view data,
                                FifoWait fifoWait = FifoWait::Yes);

// Why writeFileAtomically(file, ...) would fail, found out before there is anything to
// write, so a long run does not end in a path that cannot take its result: the strerror
// text ("Not a directory", "File name too long", ...), empty when the path looks
// writable. Creates and removes a temporary file beside a regular target; opens nothing
// that already exists, so a FIFO or a pipe is neither blocked on nor drained.
std::string writeProblem(const std::filesystem::path& file);

// The same for a GBK file name, never waiting for a FIFO's reader. False for an empty
// name or any failure.
bool writeFile(const Text& fileName, const Bytes& data);

// File contents: each row's site; or each row's site, then its title.
Text urlsFileText(const ResultList& list);
Text urlsAndTitlesFileText(const ResultList& list);

// programDirectory()/"已采集网址<N>.txt" and programDirectory()/"已采集标题+网址<N>.txt".
std::filesystem::path urlsFilePath(int rowCount);
std::filesystem::path urlsAndTitlesFilePath(int rowCount);

// Click handlers of 按钮2, 按钮3 and 按钮4. Each shows its promotional page first. A
// save of an empty list writes nothing and says nothing; a successful save says
// "保存成功"; a failed one shows a warning naming the file and the reason, and leaves an
// earlier file of that name as it was. A save never blocks on a FIFO.
void onSaveUrlsClicked(Window& window);
void onSaveUrlsAndTitlesClicked(Window& window);
void onClearClicked(Window& window);

}  // namespace sh::exporting
