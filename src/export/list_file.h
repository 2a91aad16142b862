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

// Replaces `file` with exactly `data`, atomically: the bytes go to a temporary file
// beside it, which is flushed to disk and then renamed over the target. On failure
// the target is left as it was and no temporary file remains. Returns the reason on
// failure (strerror text), empty on success.
std::string writeFileAtomically(const std::filesystem::path& file, std::string_view data);

// The same for a GBK file name. False for an empty name or any failure.
bool writeFile(const Text& fileName, const Bytes& data);

// File contents: each row's site; or each row's site, then its title.
Text urlsFileText(const ResultList& list);
Text urlsAndTitlesFileText(const ResultList& list);

// programDirectory()/"已采集网址<N>.txt" and programDirectory()/"已采集标题+网址<N>.txt".
std::filesystem::path urlsFilePath(int rowCount);
std::filesystem::path urlsAndTitlesFilePath(int rowCount);

// Click handlers of 按钮2, 按钮3 and 按钮4. Each shows its promotional page first. A
// save of an empty list writes nothing and says nothing; a successful save says
// "保存成功"; a failed one shows a warning naming the file and the reason.
void onSaveUrlsClicked(Window& window);
void onSaveUrlsAndTitlesClicked(Window& window);
void onClearClicked(Window& window);

}  // namespace sh::exporting
