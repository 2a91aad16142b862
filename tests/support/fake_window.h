#pragma once

// A window made of plain members, for testing the handlers without Qt. It records every
// call so tests can check the order of what a handler did.

#include <map>
#include <string>
#include <vector>

#include "harvest/window.h"
#include "text/codepage.h"

namespace sh::testing {

using sh::harvest::Button;
using sh::harvest::EditBox;
using sh::harvest::ResultList;
using sh::text::Text;

class FakeWindow : public sh::harvest::Window {
public:
    struct Box {
        Text text, caption;
    };

    std::map<EditBox, Text> edits;
    std::map<Button, bool> disabled;
    std::map<Button, Text> buttonTexts;
    std::vector<Text> browserAddresses;
    std::vector<Box> messages, warnings;
    // "disabled 1", "text 1/3", "browser ...": the calls in order, UTF-8.
    std::vector<std::string> log;
    ResultList list;

    Text editText(EditBox box) const override {
        auto it = edits.find(box);
        return it == edits.end() ? Text() : it->second;
    }
    void setEditText(EditBox box, const Text& text) override { edits[box] = text; }
    void appendText(EditBox box, const Text& text) override {
        edits[box] = Text(edits[box].bytes() + text.bytes());
    }
    void setButtonDisabled(Button button, bool value) override {
        disabled[button] = value;
        log.push_back(std::string(value ? "disabled " : "enabled ") +
                      std::to_string(static_cast<int>(button) + 1));
    }
    void setButtonText(Button button, const Text& text) override {
        buttonTexts[button] = text;
        log.push_back("text " + sh::text::utf8(text));
    }
    void setBrowserAddress(const Text& address) override {
        browserAddresses.push_back(address);
        log.push_back("browser " + address.bytes());
    }
    void messageBox(const Text& text, const Text& caption) override {
        messages.push_back({text, caption});
    }
    void warningBox(const Text& text, const Text& caption) override {
        warnings.push_back({text, caption});
    }
    ResultList& resultList() override { return list; }

    // The rows as UTF-8 "rank|site|title" lines.
    std::vector<std::string> rowsUtf8() const {
        std::vector<std::string> rows;
        for (const auto& row : list.rows()) {
            rows.push_back(sh::text::utf8(row.cells[0]) + "|" + sh::text::utf8(row.cells[1]) +
                           "|" + sh::text::utf8(row.cells[2]));
        }
        return rows;
    }
};

}  // namespace sh::testing
