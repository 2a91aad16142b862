#include "cli/output_format.h"

#include <cstdio>

#include "export/list_file.h"
#include "text/codepage.h"

namespace sh::cli {

namespace {

// A TSV field cannot hold a tab or a line break; they become spaces.
std::string tsvField(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

std::string listFileText(const std::vector<KeywordHarvest>& harvests, Format format) {
    std::string text;
    for (const KeywordHarvest& harvest : harvests) {
        text += format == Format::Urls ? sh::exporting::urlsFileText(harvest.rows).bytes()
                                       : sh::exporting::urlsAndTitlesFileText(harvest.rows).bytes();
    }
    return text;
}

}  // namespace

Encoding effectiveEncoding(Format format, std::optional<Encoding> requested) {
    if (format == Format::Tsv || format == Format::Json)
        return Encoding::Utf8;
    return requested.value_or(Encoding::Gbk);
}

std::string jsonString(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string formatHarvests(const std::vector<KeywordHarvest>& harvests, Format format,
                           Encoding encoding) {
    using sh::text::utf8;
    switch (format) {
        case Format::Urls:
        case Format::Titled: {
            std::string text = listFileText(harvests, format);
            return encoding == Encoding::Gbk ? text : utf8(Text(std::move(text)));
        }
        case Format::Tsv: {
            std::string out = "rank\tsite\ttitle\tkeyword\tpage\n";
            for (const KeywordHarvest& harvest : harvests) {
                const std::string keyword = tsvField(utf8(harvest.keyword));
                const auto& rows = harvest.rows.rows();
                for (std::size_t r = 0; r < rows.size(); ++r) {
                    out += tsvField(utf8(rows[r].cells[0])) + '\t' +
                           tsvField(utf8(rows[r].cells[1])) + '\t' +
                           tsvField(utf8(rows[r].cells[2])) + '\t' + keyword + '\t' +
                           std::to_string(harvest.pageOfRow[r]) + '\n';
                }
            }
            return out;
        }
        case Format::Json: {
            std::string out = "[";
            const char* separator = "\n";
            for (const KeywordHarvest& harvest : harvests) {
                const std::string keyword = jsonString(utf8(harvest.keyword));
                const auto& rows = harvest.rows.rows();
                for (std::size_t r = 0; r < rows.size(); ++r) {
                    // The rank is the row's index within its keyword's run, as its cell says.
                    out += separator;
                    out += "{\"rank\": " + std::to_string(r) +
                           ", \"site\": " + jsonString(utf8(rows[r].cells[1])) +
                           ", \"title\": " + jsonString(utf8(rows[r].cells[2])) +
                           ", \"keyword\": " + keyword +
                           ", \"page\": " + std::to_string(harvest.pageOfRow[r]) + "}";
                    separator = ",\n";
                }
            }
            return out + (out.size() > 1 ? "\n]\n" : "]\n");
        }
    }
    return {};
}

}  // namespace sh::cli
