#include "orders/record_files.h"

#include "platform/files.h"

#include <cerrno>

std::string record_lock_path(const std::string &path) { return path + ".lock"; }

bool read_record_file(const std::string &path, std::string &contents, bool &existed) {
    contents.clear();
    existed = fn_exists(path) == 1;
    if (!existed) return true;
    return fn_read_file(path, contents);
}

std::vector<std::string_view> whole_lines(std::string_view contents) {
    std::vector<std::string_view> lines;
    while (!contents.empty()) {
        std::size_t eol = contents.find('\n');
        std::size_t len = eol == std::string_view::npos ? contents.size() : eol + 1;
        lines.push_back(contents.substr(0, len));
        contents.remove_prefix(len);
    }
    return lines;
}

bool append_record_file(const std::string &path, std::string_view addition) {
    std::string contents;
    bool existed = false;
    if (!read_record_file(path, contents, existed)) return false;
    contents += addition;
    return fn_replace_file(path, contents);
}
