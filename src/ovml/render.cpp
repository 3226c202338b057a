#include "ovml/render.h"

#include "ovml/tokens.h"

#include "cgi/output.h"
#include "cgi/secure.h"
#include "config/config.h"
#include "platform/errors.h"
#include "strings/strutil.h"
#include "vars/prefs.h"
#include "vars/vars.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int render_depth = 0;

bool has_percent(std::string_view s) { return std::memchr(s.data(), '%', s.size()) != nullptr; }

// Form specials, then the output.
void append_specials(std::string &out, std::string_view line) {
    if (find_orvel(line) != npos) {
        if (std::optional<std::string> special = render_OVML_Specials(line)) {
            out += *special;
            return;
        }
    }
    out += line;
}

// Token pass (only where a '%' can start a token), then form specials.
void append_tokens(std::string &out, std::string_view line) {
    if (has_percent(line)) append_specials(out, ovmlsub(line));
    else append_specials(out, line);
}

void append_rendered_line(std::string &out, std::string_view line) {
    if (OVML_context_active()) append_tokens(out, render_OVML_Context(line));
    else append_tokens(out, line);
}

// A tag put back into a body as text.
std::string rebuilt_tag(const std::string &tag_text) {
    std::string tag;
    tag.reserve(tag_text.size() + 2);
    tag += OVML_Tag_Open;
    tag += tag_text;
    tag += OVML_Tag_Close;
    return tag;
}

void close_element(OVMLRenderContext &ctx) {
    TagDef &def = ctx.def;
    def.text = std::move(ctx.saved_text);
    ctx.saved_text.clear();
    def.body = &ctx.body;
    const int slot = ctx.open;
    ctx.open = -1;
    ctx.closing_name.clear();
    ctx.nesting = 0;
    ctx.output += render_OVML_Tag(def, slot);
    def.body = nullptr;
    ctx.body.clear();
}

// Routes a line, then the rest after each completed tag.
void route_line(std::string_view line, OVMLRenderContext &ctx) {
    for (;;) {
        if (process_OVML_Line(line, ctx) != -1) return;
        const std::size_t rest = ctx.def.rest;
        if (ctx.open < 0) reset_TagDef(ctx.def);
        if (rest == npos || rest >= line.size()) return;
        line.remove_prefix(rest);
    }
}

// Where the next line that needs more than copying can be: the next '%'
// or "ORVEL" in the buffer.  Both searches remember their answer, so the
// buffer is scanned once however many plain stretches it has.
class InterestFinder {
public:
    explicit InterestFinder(std::string_view buf) : buf_(buf) {}
    std::size_t next(std::size_t from) {
        if (!started_ || (pct_ != npos && pct_ < from)) pct_ = find_pct(from);
        if (!started_ || (orvel_ != npos && orvel_ < from)) orvel_ = find_orvel(buf_, from);
        started_ = true;
        return std::min(pct_, orvel_);
    }

private:
    std::size_t find_pct(std::size_t from) const {
        if (from >= buf_.size()) return npos;
        const void *p = std::memchr(buf_.data() + from, '%', buf_.size() - from);
        return p ? static_cast<std::size_t>(static_cast<const char *>(p) - buf_.data()) : npos;
    }
    std::string_view buf_;
    bool started_ = false;
    std::size_t pct_ = npos, orvel_ = npos;
};

void render_lines(const OVMLText &text, std::string &out) {
    OVMLRenderContext ctx(out);
    const std::string_view buf = text.buffer();
    InterestFinder finder(buf);
    const std::size_t count = text.size();
    std::size_t i = 0;
    while (i < count) {
        if (ctx.open < 0 && ctx.def.depth == 0 && !OVML_context_active()) {
            // Lines with neither a '%' nor "ORVEL" pass through as they
            // are: copy them in one piece up to the next line that needs
            // routing.
            const std::size_t from = text.start(i);
            const std::size_t hit = finder.next(from);
            if (hit == npos) {
                out.append(buf.substr(from));
                return;
            }
            const std::size_t line = text.line_at(hit, i);
            if (line > i) {
                out.append(buf.substr(from, text.start(line) - from));
                i = line;
            }
        }
        route_line(text[i], ctx);
        ++i;
    }
}

// Reads a whole file with one read when its size is known.
bool read_whole_file(const std::string &path, std::string &contents) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    std::size_t size = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) size = static_cast<std::size_t>(st.st_size);
    contents.clear();
    contents.resize(size > 0 ? size : 65536);
    std::size_t have = 0;
    for (;;) {
        if (have == contents.size()) contents.resize(contents.size() * 2);
        const ssize_t n = ::read(fd, contents.data() + have, contents.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
        if (size > 0 && have == size) {
            // The expected end: one more read only to confirm it.
            char probe;
            ssize_t m;
            do m = ::read(fd, &probe, 1);
            while (m < 0 && errno == EINTR);
            if (m <= 0) break;
            contents.resize(contents.size() * 2);
            contents[have++] = probe;
        }
    }
    ::close(fd);
    contents.resize(have);
    return true;
}

// The line reader's carriage-return rule: a carriage return not followed
// by a line feed ends its line and becomes a line feed.
void lone_returns_to_line_feeds(std::string &s) {
    char *p = s.data();
    const std::size_t n = s.size();
    for (void *hit = std::memchr(p, '\r', n); hit;) {
        const std::size_t at = static_cast<std::size_t>(static_cast<char *>(hit) - p);
        if (at + 1 >= n || p[at + 1] != '\n') p[at] = '\n';
        if (at + 1 >= n) break;
        hit = std::memchr(p + at + 1, '\r', n - at - 1);
    }
}

}  // namespace

int OVML_render_depth() { return render_depth; }

int process_OVML_Line(std::string_view line, OVMLRenderContext &ctx) {
    TagDef &def = ctx.def;
    const int scanned = get_tag_def(line, def);
    if (ctx.open < 0) {
        if (scanned == 0) {
            append_rendered_line(ctx.output, line);
        } else if (scanned == -1) {
            if (def.has_leading) append_rendered_line(ctx.output, def.leading_text);
            int result = 0, slot = -1;
            std::optional<std::string> got = parse_tag(def, result, &slot);
            if (result == -1) {
                ctx.open = slot;
                ctx.closing_name = std::move(*got);
                ctx.nesting = 1;
                ctx.saved_text = def.text;
                ctx.body.clear();
            } else if (result == 1) {
                ctx.output += *got;
            } else {
                ctx.output += Orvel_OVML_output_error("Unrecognized Orvel Tag \"%s\"", def.name.c_str());
            }
        }
        return scanned;
    }

    // Collecting a body: everything goes in raw; only openers and closers
    // of the open element are counted, to find its own closing tag.
    if (scanned == 0) {
        ctx.body.add(line);
    } else if (scanned == -1) {
        if (def.has_leading) ctx.body.add(def.leading_text);
        const int match = compare_OVML_Tags(ctx.closing_name, def.name);
        if (match == 1 && --ctx.nesting == 0) {
            close_element(ctx);
        } else {
            // A self-closed opener has no closing tag to wait for.
            const bool self_closed = !def.text.empty() && def.text.back() == '/';
            if (match == -1 && !self_closed) ++ctx.nesting;
            ctx.body.add(rebuilt_tag(def.text));
        }
    }
    return scanned;
}

std::string render_OVML_Line(std::string_view line) {
    std::string out;
    append_rendered_line(out, line);
    return out;
}

std::string render_OVML_Text(const OVMLText &text) {
    if (++render_depth > OVML_MAX_RENDER_DEPTH) {
        // Room for the error page's own renders.
        render_depth -= 5;
        cgidie("Orvel has rendered recursive OVML body #%d, and can safely handle no more.  The merchant "
               "should examine eir OVML, paying particular attention to any Orvel-Slurps which may be "
               "slurping themselves.",
               OVML_MAX_RENDER_DEPTH);
    }
    std::string out;
    out.reserve(text.buffer().size());
    render_lines(text, out);
    --render_depth;
    return out;
}

std::string render_OVML_String(std::string_view text) {
    std::string out;
    if (text.empty()) return out;
    OVMLRenderContext ctx(out);
    route_line(text, ctx);
    return out;
}

std::optional<OVMLText> read_OVML_File(const std::string &path) {
    std::string contents;
    if (!read_whole_file(path, contents)) return std::nullopt;
    if (fast_fgets == 0) lone_returns_to_line_feeds(contents);
    return OVMLText::from_buffer(std::move(contents));
}

std::optional<std::string> render_OVML_File(const std::string &path) {
    std::optional<OVMLText> text = read_OVML_File(path);
    if (!text) return std::nullopt;
    return render_OVML_Text(*text);
}

int interpret_OVML_File(const std::string &path) { return render_OVML_File(path) ? 1 : 0; }

void print_OVML_File(const std::string &path) {
    if (DICT_ORVEL) set_string(DICT_ORVEL, "TOP_DOC", path);
    maybe_securify_url();
    std::optional<std::string> page = render_OVML_File(path);
    if (!page) cgidie("Failed to open file \"%s\" for OVML rendering.", quote_html_specials(path).c_str());
    xprintf("%s", "");
    std::fwrite(page->data(), 1, page->size(), stdout);
}

void fprint_OVML_File(FILE *stream, const std::string &path) {
    std::optional<std::string> page = render_OVML_File(path);
    if (!page) {
        std::fprintf(stderr, "Error: failed to open %s\n", path.c_str());
        my_exit(1);
    }
    std::fwrite(page->data(), 1, page->size(), stream);
}
