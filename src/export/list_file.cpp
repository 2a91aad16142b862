#include "export/list_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "text/codepage.h"
#include "text/primitives.h"
#include "text/program_directory.h"

namespace sh::exporting {

using namespace sh::text;
using sh::harvest::EditBox;

namespace {

std::string errnoText(int error) { return std::strerror(error); }

// Owns a file descriptor; closes it unless released.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

std::filesystem::path listFilePath(const char* stemUtf8, int rowCount) {
    const std::string number = toText(static_cast<double>(rowCount) + 1).bytes();
    return programDirectory() / (std::string(stemUtf8) + number + ".txt");
}

void saveList(Window& window, EditBox promotionBox,
              std::filesystem::path (*filePath)(int rowCount),
              Text (*content)(const ResultList&)) {
    harvest::showPromotionPage(window, promotionBox);
    const ResultList& list = window.resultList();
    if (list.rowCount() == 0) return;
    const std::filesystem::path file = filePath(list.rowCount());

    const std::string error = writeFileAtomically(file, content(list).view());
    if (error.empty()) {
        window.messageBox(gbk("保存成功"), gbk("信息："));
    } else {
        window.warningBox(gbk("保存失败：" + file.string() + "\n" + error), gbk("警告："));
    }
}

}  // namespace

std::string writeFileAtomically(const std::filesystem::path& file, std::string_view data) {
    if (file.empty() || !file.has_filename()) return errnoText(EINVAL);
    std::string temp = file.string() + ".XXXXXX";
    Fd fd(::mkstemp(temp.data()));
    if (fd.get() < 0) return errnoText(errno);

    auto fail = [&](int error) {
        ::unlink(temp.c_str());
        return errnoText(error);
    };
    // mkstemp makes the file 0600; a saved list is an ordinary user document.
    ::fchmod(fd.get(), 0644 & ~[] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mask;
    }());

    for (std::size_t done = 0; done < data.size();) {
        const ssize_t n = ::write(fd.get(), data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0) return fail(errno);
    if (::close(fd.release()) != 0) return fail(errno);
    if (::rename(temp.c_str(), file.c_str()) != 0) return fail(errno);
    return {};
}

bool writeFile(const Text& fileName, const Bytes& data) {
    if (fileName.empty()) return false;
    return writeFileAtomically(std::filesystem::path(utf8(fileName)), data.view()).empty();
}

Text urlsFileText(const ResultList& list) {
    std::string text;
    for (const auto& row : list.rows()) {
        text.append(row.cells[1].view()).append("\r\n");
    }
    return Text(std::move(text));
}

Text urlsAndTitlesFileText(const ResultList& list) {
    std::string text;
    for (const auto& row : list.rows()) {
        text.append(row.cells[1].view()).append("\r\n");
        text.append(row.cells[2].view()).append("\r\n");
    }
    return Text(std::move(text));
}

std::filesystem::path urlsFilePath(int rowCount) { return listFilePath("已采集网址", rowCount); }

std::filesystem::path urlsAndTitlesFilePath(int rowCount) {
    return listFilePath("已采集标题+网址", rowCount);
}

void onSaveUrlsClicked(Window& window) {
    saveList(window, EditBox::编辑框5, urlsFilePath, urlsFileText);
}

void onSaveUrlsAndTitlesClicked(Window& window) {
    saveList(window, EditBox::编辑框6, urlsAndTitlesFilePath, urlsAndTitlesFileText);
}

void onClearClicked(Window& window) {
    harvest::showPromotionPage(window, EditBox::编辑框7);
    window.resultList().deleteAllRows();
}

}  // namespace sh::exporting
