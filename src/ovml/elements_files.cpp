// Elements that read or write files: ORVEL_SLURP (a file or a merchant
// script's output), ORVEL_DIMS (an image's size) and ORVEL_BELCH (writing
// its body to a file under the catalog or document directory).
#include "ovml/elements.h"
#include "ovml/elements_std.h"
#include "ovml/registry.h"
#include "ovml/render.h"

#include "config/config.h"
#include "config/paths.h"
#include "ext/scripts.h"
#include "platform/files.h"
#include "platform/image.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A relative path that could climb out of its directory.
bool forbidden_path(std::string_view path) { return !path.empty() && (path.front() == '.' || path.find("..") != npos); }

// True when `path` is `dir` or lies below it: the prefix must end at a
// '/' boundary, so "/srv/cat" does not admit "/srv/catalog2".
bool under_dir(std::string_view path, std::string_view dir)
{
    while (dir.size() > 1 && dir.back() == '/') dir.remove_suffix(1);
    if (dir.empty()) return false;
    if (dir == "/") return !path.empty() && path.front() == '/';
    if (!strbeg(path, dir)) return false;
    return path.size() == dir.size() || path[dir.size()] == '/';
}

// The path lies under CAT_DIR or one of the ";"-separated DOC_DIR
// entries; empty settings admit nothing.
bool under_store_dirs(std::string_view path)
{
    if (under_dir(path, config_string("CAT_DIR"))) return true;
    for (std::string_view dir : split_list(config_string("DOC_DIR"), ';'))
        if (under_dir(path, dir)) return true;
    return false;
}

std::string slurp_script(const OVMLAttributes &attrs, const std::string &script)
{
    text *output = new_text(nullptr);
    const int rc = run_user_script(script, attrs.get("ARGSTR"), nullptr, output);
    std::string out;
    if (rc != 0) {
        out = Orvel_OVML_output_error("Failed to execute EXEC script \"%s\". (Love, Orvel)", script.c_str());
    } else if (attrs.flag("RAW")) {
        for (textstring *line = output->first; line; line = line->next)
            if (line->string) out += line->string;
    } else {
        out = render_OVML_Text(OVMLText::from_c_text(output));
    }
    free_text(output);
    return out;
}

// Writes `body` to `path` under an exclusive lock.  The file is opened
// without truncation and only emptied once the lock is held, so a
// concurrent writer never sees its data cut away by an unlocked truncate.
// Without APPEND or CLOBBER the file must not exist yet (O_EXCL decides,
// leaving no window between the check and the creation).  Returns an
// error comment, or "" (also when the file cannot be opened: nothing is
// written then).
std::string belch_write(const std::string &path, const std::string &body, bool append, bool clobber)
{
    int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
    if (!append && !clobber) flags |= O_EXCL;
    // Created with the store's mode from the start: never wider, whatever
    // the umask.
    const int fd = ::open(path.c_str(), flags, protect_file_mode());
    if (fd < 0) {
        if (errno == EEXIST) return Orvel_OVML_output_error("%s exists, but !append and !clobber", path.c_str());
        overror("ORVEL_BELCH: cannot open %s: %s", path.c_str(), my_strerror(errno).c_str());
        return "";
    }
    FILE *file = ::fdopen(fd, "a");
    if (!file) {
        ::close(fd);
        return "";
    }
    if (fp_lock(file, FLOCK_WRITE) != 0 && !config_boolean("FLOCK_DISABLED")) {
        std::fclose(file);
        return "";
    }
    if (clobber && !append && ::ftruncate(fd, 0) != 0) {
        fp_lock(file, FLOCK_UNLOCK);
        std::fclose(file);
        return "";
    }
    std::fwrite(body.data(), 1, body.size(), file);
    std::fflush(file);
    fp_lock(file, FLOCK_UNLOCK);
    std::fclose(file);
    return "";
}

}  // namespace

std::string do_OVML_Slurp(TagDef &def)
{
    OVMLAttributes attrs(def);
    if (const std::string script(attrs.get("EXEC")); !script.empty()) return slurp_script(attrs, script);

    const std::string src(attrs.get("SRC"));
    if (src.empty())
        return Orvel_OVML_output_error(
            "Neither slurped file SRC or an EXEC script name was given. (Love, Orvel)");
    if (forbidden_path(src))
        return Orvel_OVML_output_error(
            "Slurped file source \"%s\" is an invalid or forbidden path.  Because all Orvel file accesses are "
            "relative to a fixed directory, there is no need to use '..' in your paths.  (Love, Orvel)",
            src.c_str());
    const std::string path = attrs.flag("TEMPLATE") ? get_template_pathname(src) : get_servable_pathname(src);
    std::optional<OVMLText> file = read_OVML_File(path);
    if (!file)
        return Orvel_OVML_output_error(
            "Failed to open slurped file source \"%s\" for reading.  It should be located in your DOC_DIR "
            "directory.  (Love, Orvel)",
            path.c_str());
    return render_OVML_Text(*file);
}

std::string do_OVML_Dims(TagDef &def)
{
    OVMLAttributes attrs(def);
    const std::string src(attrs.get("SRC"));
    if (forbidden_path(src)) return Orvel_OVML_output_error("Orvel-Dim: %s: %s", src.c_str(), "forbidden path");
    const std::string path = get_servable_pathname(src);
    ImageSize size;
    image_size(path, size);
    if (size.error) return Orvel_OVML_output_error("Orvel-Dim: %s: %s", path.c_str(), size.error);
    const std::string result(attrs.get("RESULT"));
    set_template_integer(result.empty() ? "DIMX" : result + "X", size.width);
    set_template_integer(result.empty() ? "DIMY" : result + "Y", size.height);
    return "";
}

std::string do_OVML_Belch(TagDef &def)
{
    OVMLAttributes attrs(def);
    const std::string file(attrs.get("FILE"));
    std::string base(attrs.get("BASEDIR"));
    if (base.empty()) base = get_theme_root();
    const std::string path = base + "/" + file;

    if (file.empty() || forbidden_path(file) || forbidden_path(path))
        return Orvel_OVML_output_error("filename %s is unsafe", path.c_str());
    if (!under_store_dirs(path)) return Orvel_OVML_output_error("filename %s not under CAT|DOC_DIR", path.c_str());

    const bool append = attrs.flag("APPEND");
    const bool clobber = attrs.flag("CLOBBER");
    if (!append && !clobber && fn_exists(path) == 1)
        return Orvel_OVML_output_error("%s exists, but !append and !clobber", path.c_str());

    const std::string body = render_OVML_Text(def.body_lines());
    std::string out = belch_write(path, body, append, clobber);
    if (out.empty() && attrs.flag("PROTECT") && fn_exists(path) == 1) fn_protect(path);
    return out;
}
