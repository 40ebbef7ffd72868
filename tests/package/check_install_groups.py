#!/usr/bin/env python3
"""Every program that the project's commands, scripts and tests call comes from a package that
an install group names (tools/install-deps.sh), or from Debian's base system.

    check_install_groups.py SOURCE_DIR

Reads the shell scripts (./run, .ci/run, *.sh under tools/ and tests/, with their here-documents),
the Python scripts (subprocess calls and shutil.which), the CMake files (find_program and COMMAND)
and the C++ tests (std::system, popen, findExecutable and spawned argument lists) for the programs
in command position. Each must be installed, and the package that owns it must be named by a group
or be of priority "required" (what debootstrap's minbase brings). Prints every program with the
package it came from; exits 1 naming each one that no group installs.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys

# Ours, made by the build or installed by our own package, and never looked up on the PATH.
OURS = {"kinetra", "kinetra-trace"}
# Scripts that run inside the QEMU guest, where the static busybox provides every command.
GUEST_SCRIPTS = {"tests/vm/guest_init.sh"}

SHELL_WORDS = set(
    """if then else elif fi case esac for while until do done in function select time return
    exit break continue local export readonly declare typeset set unset shift trap eval exec
    source . : true false echo printf read cd pwd test [ [[ ]] ] wait kill command type
    getopts mapfile readarray let alias umask ulimit builtin hash jobs disown suspend shopt
    pushd popd dirs enable help history fc bg fg caller compgen complete logout times { } !""".split()
)
# Words after which the next word is the command again.
PREFIXES = {"exec", "command", "env", "nohup", "setsid", "sudo", "time", "xargs", "!", "then",
            "do", "else", "elif", "if", "while", "until", "timeout", "chroot", "unshare", "taskset"}
SEPARATORS = {";", "|", "||", "&&", "&", "(", ")", "((", "))", ";;", "|&", "{", "}", "\n"}
# Shell functions defined in any of the scripts (a sourced file defines some for its callers).
FUNCTIONS = set()
NAME = re.compile(r"^[A-Za-z][A-Za-z0-9_.+-]*$")


def shell_commands(text):
    """(line, word) for every word in command position in a shell script."""
    found = []
    for number, statement in statements(text):
        for word in commands_in(statement):
            if word not in FUNCTIONS and word not in SHELL_WORDS:
                found.append((number, word))
    return found


def statements(text):
    """(first line, text) of each logical line: continued lines and multi-line quotes joined,
    here-documents left out (they are data, or a script for another root)."""
    lines = text.split("\n")
    i, out = 0, []
    while i < len(lines):
        start, buf = i + 1, lines[i]
        i += 1
        while True:
            if buf.endswith("\\") and i < len(lines):
                buf = buf[:-1] + " " + lines[i]
                i += 1
                continue
            try:
                shlex.split(simplify(buf), comments=True)
            except ValueError:
                if i < len(lines):
                    buf += "\n" + lines[i]
                    i += 1
                    continue
            break
        out.append((start, buf))
        heredoc = re.search(r"<<-?\s*['\"]?(\w+)['\"]?", buf)
        if heredoc:
            while i < len(lines) and lines[i].strip() != heredoc.group(1):
                i += 1
            i += 1
    return out


def simplify(line):
    """Arithmetic and parameter expansions stand for one plain word."""
    line = re.sub(r"\$\(\([^()]*\)\)", "$V", line)
    while True:
        shorter = re.sub(r"\$\{[^{}]*\}", "$V", line)
        if shorter == line:
            return line
        line = shorter


def commands_in(line):
    try:
        lexer = shlex.shlex(simplify(line), posix=True, punctuation_chars=";&|(){}")
        lexer.whitespace_split = True
        lexer.commenters = "#"
        tokens = list(lexer)
    except ValueError:
        return []
    words, expect, skip_options, skip_to = [], True, False, None
    # A case pattern ("run)", "*)") starts a line and ends at its ")": not a command.
    if len(tokens) > 1 and tokens[1] == ")":
        tokens = tokens[2:]
    for i, token in enumerate(tokens):
        for inner in re.findall(r"\$\(([^()]*)\)|`([^`]*)`", token):
            words += commands_in(inner[0] or inner[1])
        if skip_to is not None:
            if token == skip_to:
                skip_to, expect = None, False
            continue
        if token in ("((", "(") and i > 0 and tokens[i - 1].endswith("="):
            skip_to = ")"  # an array assignment
            continue
        if token == "((":
            skip_to = "))"  # an arithmetic command
            continue
        if token in SEPARATORS:
            expect, skip_options = True, False
            continue
        if not expect:
            continue
        if token in ("for", "case", "select"):
            expect = False  # its words run to the next separator
            continue
        if re.match(r"^[A-Za-z_][A-Za-z0-9_]*(\[.*\])?\+?=", token):
            continue  # an assignment before the command
        if skip_options and (token.startswith("-") or re.match(r"^[0-9.]+[smh]?$", token)):
            continue  # "timeout 30 prog", "unshare -m --propagation private sh"
        if skip_options and tokens[i - 1] == "--propagation":
            continue
        if token in PREFIXES:
            skip_options = token in {"timeout", "unshare", "xargs", "env", "taskset"}
            if token == "chroot":
                return words  # runs in another root: checked there
            if token == "command" and i + 1 < len(tokens) and tokens[i + 1] == "-v":
                if i + 2 < len(tokens) and NAME.match(tokens[i + 2]):
                    words.append(tokens[i + 2])
                return words
            continue
        expect = False
        if token.startswith("$"):
            continue  # a program named by a variable: its default is named where it is set
        name = os.path.basename(token) if token.startswith(("/usr/", "/bin/", "/sbin/")) else token
        if NAME.match(name):
            words.append(name)
    return words


def python_commands(text):
    found = []
    for number, line in enumerate(text.split("\n"), 1):
        for m in re.finditer(r"(?:subprocess\.\w+\(\s*\[|shutil\.which\()\s*[\"']([^\"']+)[\"']", line):
            found.append((number, m.group(1)))
    return found


def cmake_commands(text):
    found = []
    for number, line in enumerate(text.split("\n"), 1):
        m = re.search(r"find_program\(\s*\w+\s+(?:NAMES\s+)?([A-Za-z][\w.+-]*)", line)
        if m:
            found.append((number, m.group(1)))
        m = re.search(r"\bCOMMAND\s+([A-Za-z][\w.+-]*)(?:\s|\))", line)
        if m and m.group(1) not in {"COMMAND"}:
            found.append((number, m.group(1)))
    return found


def cpp_commands(text):
    found = []
    pattern = (r"(?:std::system|popen)\(\s*\(?\s*\"([A-Za-z][\w.+-]*)[ \"]"
               r"|findExecutable\(\"([^\"]+)\"\)|SpawnChild\(\{\"([^\"]+)\"")
    for number, line in enumerate(text.split("\n"), 1):
        for m in re.finditer(pattern, line):
            word = next(g for g in m.groups() if g)
            if word not in SHELL_WORDS and NAME.match(word):
                found.append((number, word))
    return found


def sources(root):
    yield "run", shell_commands
    yield ".ci/run", shell_commands
    for top in ("tools", "tests", "bench", "packaging", "cmake"):
        for folder, _, files in os.walk(os.path.join(root, top)):
            for f in sorted(files):
                rel = os.path.relpath(os.path.join(folder, f), root)
                if f.endswith(".sh") and rel not in GUEST_SCRIPTS:
                    yield rel, shell_commands
                elif f.endswith(".py"):
                    yield rel, python_commands
                elif f == "CMakeLists.txt" or f.endswith(".cmake"):
                    yield rel, cmake_commands
                elif f.endswith((".cpp", ".h")) and top in ("tests", "bench"):
                    yield rel, cpp_commands
    yield "CMakeLists.txt", cmake_commands


def owner(path):
    """The package that owns PATH (trying the /usr-merged spellings too), or None."""
    candidates = [path, os.path.realpath(path)]
    for p in list(candidates):
        for a, b in (("/usr/bin/", "/bin/"), ("/usr/sbin/", "/sbin/")):
            if p.startswith(a):
                candidates.append(b + p[len(a):])
            elif p.startswith(b):
                candidates.append(a + p[len(b):])
    for p in candidates:
        out = subprocess.run(["dpkg-query", "-S", p], capture_output=True, text=True)
        if out.returncode == 0:
            line = out.stdout.splitlines()[0]
            if not line.startswith("diversion"):
                return line.split(":")[0].split(",")[0].strip()
    return None


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    listed = subprocess.run([os.path.join(root, "tools/install-deps.sh"), "--list", "all"],
                            capture_output=True, text=True, check=True).stdout.split()
    named = set(listed)
    # What a named package depends on directly is installed with it (python3 -> python3-minimal).
    depends = subprocess.run(["dpkg-query", "-W", "-f=${Depends},${Pre-Depends}\\n"] + listed,
                             capture_output=True, text=True).stdout
    pulled = {re.split(r"[\s(:]", d.strip())[0] for d in re.split(r"[,|]", depends) if d.strip()}
    # Debian's own folders only: a program in /usr/local or a private PATH is there by luck.
    search = "/usr/sbin:/usr/bin:/sbin:/bin"
    targets = set()
    for rel, reader in sources(root):
        if reader is shell_commands and os.path.isfile(os.path.join(root, rel)):
            with open(os.path.join(root, rel), encoding="utf-8") as f:
                FUNCTIONS.update(re.findall(r"^\s*(?:function\s+)?([A-Za-z_][\w-]*)\s*\(\)", f.read(), re.M))
        if reader is cmake_commands and os.path.isfile(os.path.join(root, rel)):
            with open(os.path.join(root, rel), encoding="utf-8") as f:
                targets |= set(re.findall(r"(?:add_executable|kinetra_add_test)\(\s*([\w.+-]+)", f.read()))
    calls = {}
    for rel, reader in sources(root):
        path = os.path.join(root, rel)
        if not os.path.isfile(path):
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            for number, word in reader(f.read()):
                calls.setdefault(word, f"{rel}:{number}")
    problems = []
    for word in sorted(calls):
        if word in OURS or word in targets:
            continue
        where = calls[word]
        path = shutil.which(word, path=search)
        if path is None:
            problems.append(f"{word} (called at {where}) is not installed: no install group provides it")
            continue
        package = owner(path)
        if package is None:
            problems.append(f"{word} (called at {where}) is {path}, which no Debian package owns")
            continue
        priority = subprocess.run(["dpkg-query", "-W", "-f=${Priority} ${Essential}", package],
                                  capture_output=True, text=True).stdout.split()
        if package in named:
            print(f"{word}: {package} (a group names it)")
        elif package in pulled:
            print(f"{word}: {package} (a named package depends on it)")
        elif priority[:1] == ["required"] or "yes" in priority[1:]:
            print(f"{word}: {package} (base system)")
        else:
            problems.append(f"{word} (called at {where}) comes from {package}, "
                            "which no install group in tools/install-deps.sh names")
    for p in problems:
        print("MISSING: " + p)
    print(f"{len(calls)} programs called, {len(problems)} not installed by a group")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
