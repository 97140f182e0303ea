"""A small reader of INI files that follows the rules the game's own reader
follows (the Windows profile-string rules):

- section and key names are compared without regard to case;
- the first matching section is the only one searched, and in it the first
  matching key wins;
- names and values are trimmed of blanks; a value enclosed in one pair of
  matching quotes (" or ') loses that pair;
- lines whose first non-blank character is ';' are comments;
- CRLF line ends and a UTF-8 byte-order mark are accepted;
- values are cut to 1023 characters.

The typed readers mirror the game's conversions (atoi, atof, the exact
boolean words, colours as four numbers, texts with backslash escapes), so a
check made here sees the values the game will see.
"""
import re

MAX_VALUE = 1023


class ProfileIni:
    def __init__(self, path):
        self.path = path
        self.sections = {}       # lower-case name -> {lower-case key: value}
        self.section_keys = {}   # lower-case name -> keys in file order (lower case)
        with open(path, "rb") as f:
            data = f.read()
        if data.startswith(b"\xef\xbb\xbf"):
            data = data[3:]
        text = data.decode("latin-1")
        current = None
        for raw in text.splitlines():
            line = raw.strip(" \t\r\n")
            if not line or line.startswith(";"):
                continue
            if line.startswith("["):
                end = line.find("]")
                name = (line[1:end] if end >= 0 else line[1:]).strip().lower()
                if name in self.sections:
                    current = None   # a repeated section is never searched
                else:
                    current = name
                    self.sections[name] = {}
                    self.section_keys[name] = []
                continue
            if current is None or "=" not in line:
                continue
            key, value = line.split("=", 1)
            key = key.strip().lower()
            value = value.strip(" \t")
            if len(value) >= 2 and value[0] == value[-1] and value[0] in "\"'":
                value = value[1:-1]
            value = value[:MAX_VALUE]
            if key not in self.sections[current]:
                self.sections[current][key] = value
                self.section_keys[current].append(key)

    # -- presence -----------------------------------------------------------
    def has_section(self, section):
        return section.lower() in self.sections

    def has(self, section, key):
        return key.lower() in self.sections.get(section.lower(), {})

    def keys(self, section):
        return list(self.section_keys.get(section.lower(), []))

    # -- typed readers, with the game's defaults ----------------------------
    def raw(self, section, key, default=""):
        return self.sections.get(section.lower(), {}).get(key.lower(), default)

    def get_int(self, section, key):
        return atoi(self.raw(section, key))

    def get_float(self, section, key):
        return atof(self.raw(section, key))

    def get_bool(self, section, key):
        return self.raw(section, key) in ("true", "TRUE", "yes", "YES", "on", "ON", "1")

    def get_color(self, section, key):
        nums = scan_ints(self.raw(section, key), 4)
        nums += [0] * (4 - len(nums))
        a, r, g, b = (n & 255 for n in nums)
        return (a << 24) | (r << 16) | (g << 8) | b

    def get_string(self, section, key):
        return unescape(self.raw(section, key))


_INT = re.compile(r"[ \t\n\v\f\r]*([+-]?\d+)")
_FLOAT = re.compile(r"[ \t\n\v\f\r]*([+-]?(\d+\.?\d*([eE][+-]?\d+)?|\.\d+([eE][+-]?\d+)?))")


def atoi(text):
    m = _INT.match(text)
    return int(m.group(1)) if m else 0


def atof(text):
    m = _FLOAT.match(text)
    return float(m.group(1)) if m else 0.0


def scan_ints(text, count):
    """Numbers read one after another as sscanf("%d %d ...") does; stops at
    the first thing that is not a number."""
    out = []
    rest = text
    for _ in range(count):
        m = _INT.match(rest)
        if not m:
            break
        out.append(int(m.group(1)))
        rest = rest[m.end():]
    return out


def scan_floats(text, count):
    out = []
    rest = text
    for _ in range(count):
        m = _FLOAT.match(rest)
        if not m:
            break
        out.append(float(m.group(1)))
        rest = rest[m.end():]
    return out


_ESCAPES = {'"': '"', "\\": "\\", "a": "\a", "b": "\b", "f": "\f", "n": "\n", "r": "\r",
            "t": "\t", "v": "\v"}


def unescape(value):
    """Text with backslash escapes; a bare double quote ends the text."""
    if value.startswith('"'):
        return ""
    out = []
    i = 0
    while i < len(value):
        ch = value[i]
        if ch == "\\":
            if i + 1 >= len(value):
                break
            out.append(_ESCAPES.get(value[i + 1], ""))
            i += 2
            continue
        if ch == '"':
            break
        out.append(ch)
        i += 1
    return "".join(out)


def quoted_entry(value):
    """Split '"file" n n n' into the file name and the text after it, the way
    the interface loader does: the name runs from after the first double
    quote to the next one (or the end)."""
    start = value.find('"')
    if start < 0:
        return None, value
    end = value.find('"', start + 1)
    if end < 0:
        return value[start + 1:], ""
    return value[start + 1:end], value[end + 1:]
