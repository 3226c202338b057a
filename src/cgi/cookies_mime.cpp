#include "cgi/cookies_mime.h"

#include "config/paths.h"
#include "platform/files.h"
#include "strings/strutil.h"
#include "vars/list.h"
#include "vars/prefs.h"
#include "vars/vars.h"

#include <orvel.h>

#include <algorithm>
#include <cstdlib>

namespace {

bool mime_rules_read = false;

struct BuiltinType {
    std::string_view extension;
    bool prefix;  // the extension only has to begin with it
    std::string_view type;
};

constexpr BuiltinType builtin_types[] = {
    {"HTM", true, "text/html"},
    {"TXT", false, "text/plain"},
    {"TAB", false, "text/plain"},
    {"CSV", false, "text/plain"},
    {"GIF", false, "image/gif"},
    {"JPG", false, "image/jpeg"},
    {"JPE", true, "image/jpeg"},
    {"EXE", false, "application/octet-stream"},
    {"ZIP", false, "application/zip"},
    {"GZ", false, "application/x-gzip"},
    {"TAR", false, "application/x-tar"},
    {"HQX", false, "application/mac-binhex40"},
    {"AU", false, "audio/basic"},
    {"SND", false, "audio/basic"},
    {"WAV", false, "audio/x-wav"},
    {"AVI", false, "audio/x-msvideo"},
    {"MPEG", true, "video/mpeg"},
    {"MPG", false, "video/mpeg"},
    {"MOV", false, "video/quicktime"},
    {"QT", false, "video/quicktime"},
};

}  // namespace

int digest_cookies() {
    const char *header = std::getenv("HTTP_COOKIE");
    if (!header) return 0;
    std::string copy(header);
    std::replace(copy.begin(), copy.end(), ';', ' ');
    to_fields(std::string_view(copy), DICT_COOKIES, true, '\x1e');
    return 1;
}

void get_mime_rules() {
    if (mime_rules_read) return;
    mime_rules_read = true;
    std::string contents;
    if (!DICT_MIMETYPES || !fn_read_file(get_rules_pathname("mime.rules"), contents)) return;
    parse_prefs_string(contents, DICT_MIMETYPES, true, ":", '#');
}

std::string get_mime_type(std::string_view name) {
    std::size_t dot = strsuff(name);
    if (dot == npos) return "text/plain";
    std::string extension = upper(name.substr(dot));
    get_mime_rules();
    if (DICT_MIMETYPES) {
        std::string_view merchant = var_string(DICT_MIMETYPES, extension);
        if (!merchant.empty()) return std::string(merchant);
    }
    for (const BuiltinType &t : builtin_types) {
        if (t.prefix ? strbeg(extension, t.extension) : extension == t.extension) return std::string(t.type);
    }
    return "application/octet-stream";
}

void reset_mime_rules_state() { mime_rules_read = false; }
