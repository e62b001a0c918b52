"""What the cluster scripts read as the converter reads it: the options of a project file, with
their relative paths taken from the project's folder, and the sources a source list names.

Texts are kept as Python keeps file names: bytes that are not UTF-8 as surrogate escapes
(os.fsencode gives the bytes back), which is also how json.loads reads the converter's JSON log.
"""
import codecs
import locale
import os

# The options that name files or folders: relative, they lead from the project file's folder.
PATH_OPTIONS = ("Source", "Target", "SourceList", "SourceRoot", "LogFile", "JsonLog", "Passwords")
# The converter's limit of a list line, in the file's bytes.
LIST_LINE_BYTES = 64 * 1024


def decode(data: bytes) -> str:
    """A project file's or a list's text: a byte-order mark says UTF-8 or UTF-16; without one
    the locale's character set, whose UTF-8 is taken byte for byte."""
    for mark, encoding in ((codecs.BOM_UTF8, "utf-8"), (codecs.BOM_UTF16_LE, "utf-16-le"),
                           (codecs.BOM_UTF16_BE, "utf-16-be")):
        if data.startswith(mark):
            return data[len(mark):].decode(encoding, "surrogateescape" if mark == codecs.BOM_UTF8
                                           else "replace")
    charset = codecs.lookup(locale.getpreferredencoding(False)).name
    return data.decode("utf-8" if charset == "utf-8" else charset, "surrogateescape")


def split_lines(text: str):
    """The lines of a text ended by CR LF, a lone CR or a lone LF."""
    return text.replace("\r\n", "\n").replace("\r", "\n").split("\n")


class Project:
    """A project file's options: names ignore case, the first line of a name counts."""

    def __init__(self, path: str):
        self.path = path
        self.folder = os.path.dirname(path)
        with open(path, "rb") as f:
            self.lines = [line for line in split_lines(decode(f.read())) if line]

    def option(self, name: str) -> str:
        for line in self.lines:
            key, equals, value = line.partition("=")
            if equals and key.lower() == name.lower():
                return value
        return ""

    def path_option(self, name: str) -> str:
        return resolve_option_path(self.option(name), self.folder)


def resolve_option_path(value: str, folder: str) -> str:
    """A path option as the converter uses it: a relative path below folder."""
    if not value or not folder or value.startswith(("/", "file:", "http")):
        return value
    return os.path.join(folder, value)


def normalize_url(path: str) -> str:
    """A "file:" URL as its path; anything else as it is."""
    if not path.startswith("file:"):
        return path
    rest = path[len("file:"):].lstrip("/")
    if not rest:
        return rest
    if rest[:10].lower() == "localhost/":
        rest = rest[10:]
    return "/" + rest


def resolve_entry(entry: str, list_folder: str) -> str:
    """The path a list entry names: relative to the list's folder, "." and ".." taken out
    without asking the file system (above the root there is only the root)."""
    path = normalize_url(entry)
    if not path:
        return path
    if not path.startswith("/"):
        path = list_folder + path
    head = "/" if path.startswith("/") else ""
    steps = []
    for step in path[len(head):].split("/"):
        if step == "..":
            if steps and steps[-1] != "..":
                steps.pop()
            elif not head:
                steps.append(step)
        elif step and step != ".":
            steps.append(step)
    return head + "/".join(steps)


def list_sources(list_path: str):
    """The sources of a source list, as the converter resolves them, in list order, and the
    numbers of the lines it refuses (too long, holding a NUL)."""
    list_path = normalize_url(list_path)
    folder = os.path.dirname(list_path)
    folder = folder + "/" if folder and not folder.endswith("/") else folder
    with open(list_path, "rb") as f:
        data = f.read()
    wide = data.startswith((codecs.BOM_UTF16_LE, codecs.BOM_UTF16_BE))
    sources, refused = [], []
    for number, line in enumerate(split_lines(decode(data)), 1):
        if not line:
            continue
        size = len(line.encode("utf-16-le", "surrogatepass")) if wide else \
            len(line.encode("utf-8", "surrogateescape"))
        if size > LIST_LINE_BYTES or "\0" in line:
            refused.append(number)
        else:
            sources.append(resolve_entry(line, folder))
    return sources, refused
