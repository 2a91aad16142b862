#pragma once

// What the handlers of the core ask of the main window. MainWindow implements it with
// Qt widgets; tests implement it with plain members. Every call runs on the window
// thread and returns when done.

#include "harvest/result_list.h"
#include "text/text.h"

namespace sh::harvest {

// Controls keep their form names.
enum class EditBox { 编辑框1, 编辑框2, 编辑框3, 编辑框4, 编辑框5, 编辑框6, 编辑框7 };
enum class Button { 按钮1, 按钮2, 按钮3, 按钮4, 按钮5, 按钮6, 按钮7, 按钮8, 按钮9 };

class Window {
public:
    virtual ~Window() = default;

    // Texts are GBK.
    virtual Text editText(EditBox box) const = 0;
    virtual void setEditText(EditBox box, const Text& text) = 0;
    // Caret to the end and scrolled into view, then the text inserted as if typed there;
    // the user's undo does not take it back.
    virtual void appendText(EditBox box, const Text& text) = 0;
    virtual void setButtonDisabled(Button button, bool disabled) = 0;
    virtual void setButtonText(Button button, const Text& text) = 0;
    // Starts loading the address in the browser panel and returns at once.
    virtual void setBrowserAddress(const Text& address) = 0;
    // Modal information box with one OK button and no icon; returns when closed.
    virtual void messageBox(const Text& text, const Text& caption) = 0;
    // Modal warning box; returns when closed.
    virtual void warningBox(const Text& text, const Text& caption) = 0;
    // The list that 超级列表框1 shows.
    virtual ResultList& resultList() = 0;
};

// Points the browser panel at the address held in a hidden edit box, unchecked.
inline void showPromotionPage(Window& window, EditBox hiddenBox) {
    window.setBrowserAddress(window.editText(hiddenBox));
}

}  // namespace sh::harvest
