"""Running the real vortcp binary ($VORTCP_BIN) the way a user would.

With VORTCP_EMULADOR set (the cross build sets it to wine) the binary is a
Windows executable run through that emulator, and the harness absorbs what
Wine itself changes:
- the run starts in a directory inside the prefix's drive_c (from a Linux
  directory Wine's current drive is Z:, the Linux root, and "\\LIB" would land
  outside the tree); temporary directories are made there (tempfile.tempdir);
- for the length of the run a drive letter of its own is the run's directory,
  so that the root of the current drive, where the program puts its tree, is
  that directory, as the run's directory is on POSIX;
- absolute Linux paths in BASE, WWW_ROOT and the TLS files become Windows
  paths (windows_path);
- standard output and standard error are text-mode streams: the harness checks
  that every LF came as CR LF and hands the test the same bytes as on POSIX.
What stays different for the tests to check (backslash paths in the lines
shown, CR LF in local text files) is told by WINDOWS, EOL, shown_path,
local_text and text_bytes.
"""

import errno
import hashlib
import inspect
import json
import os
import pty
import subprocess
import tempfile
import threading
import tty
from collections import namedtuple

Result = namedtuple("Result", "status stdout stderr")
Result.__doc__ = """Outcome of one run: status is the exit status as the shell sees it
(0..255: -1 is 255); stdout and stderr are bytes."""

SANITIZER_MARKERS = (b"ERROR: AddressSanitizer", b"runtime error:", b"LeakSanitizer")

# Under Wine an emulated process starts first, slower on a loaded machine.
DEFAULT_TIMEOUT = 60 if os.environ.get("VORTCP_EMULADOR") else 20

EMULATOR = os.environ.get("VORTCP_EMULADOR") or None
WINDOWS = EMULATOR is not None
EOL = b"\r\n" if WINDOWS else b"\n"  # line end of the local text files
# The socket error code printed for a refused connection: errno on POSIX,
# WSAGetLastError on Windows.
CONNECTION_REFUSED = 10061 if WINDOWS else errno.ECONNREFUSED
# The errno of a file open whose path goes through a plain file where a
# directory should be: Windows reports the path as not found.
NOT_A_DIRECTORY = errno.ENOENT if WINDOWS else errno.ENOTDIR

# Settings whose value is a local path, turned into a Windows path under Wine.
PATH_SETTINGS = ("BASE", "WWW_ROOT", "VORTCP_TLS_CA", "VORTCP_TLS_CERT", "VORTCP_TLS_CLAVE")
# What Wine needs from the caller's environment to find its prefix and server.
WINE_VARIABLES = ("WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES", "WINESERVER", "WINELOADER",
                  "HOME", "USER", "LOGNAME", "TMPDIR")
# The console code page of a Western European Windows (850, ANSI 1252), as the
# POSIX layer converts; Wine derives it from the locale.
WINE_LOCALE = "es_ES.UTF-8"


def _wine_prefix():
    return os.path.abspath(os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine"))


def _drive_c():
    return os.path.join(_wine_prefix(), "drive_c")


if WINDOWS:
    # Every test's scratch directory (tempfile.TemporaryDirectory, mkdtemp)
    # then lies inside drive C of the prefix.
    _scratch = os.path.join(_drive_c(), "pruebas")
    os.makedirs(_scratch, exist_ok=True)
    tempfile.tempdir = _scratch


def windows_path(path):
    """The Windows name of a Linux path: C:\\... inside the prefix's drive_c,
    Z:\\... (Wine's drive of the Linux root) elsewhere. A relative path only
    has its separators turned."""
    if not os.path.isabs(path):
        return path.replace("/", "\\")
    path = os.path.abspath(path)
    drive_c = _drive_c()
    if path == drive_c or path.startswith(drive_c + os.sep):
        return "C:" + (path[len(drive_c):] or "/").replace("/", "\\")
    return "Z:" + path.replace("/", "\\")


def shown_path(path):
    """A local path as the program prints it ("Obtiene: %s%s", "Imposible
    abrir (%s)", ...). `path` is the POSIX form: relative to the run's
    directory ("LIB1/SRC/PGM1.ile") or absolute (under BASE or WWW_ROOT, as
    passed to run_vortcp). On Windows the tree hangs from the root of the
    drive: "\\LIB1\\SRC\\PGM1.ile". str in, str out; bytes in, bytes out."""
    if isinstance(path, bytes):
        return shown_path(path.decode("latin-1")).encode("latin-1")
    if not WINDOWS:
        return path
    if os.path.isabs(path):
        return windows_path(path)
    return "\\" + path.replace("/", "\\")


def stored_name(name):
    """The name a local file gets on disk: Windows drops the dots and blanks
    that end a file name ("M2." is stored as "M2")."""
    return name.rstrip(". ") if WINDOWS else name


def text_bytes(data):
    """The bytes of a local text file whose lines are `data` (str or bytes,
    LF line ends): CR LF on Windows."""
    data = data.encode("latin-1") if isinstance(data, str) else bytes(data)
    return data.replace(b"\n", EOL) if WINDOWS else data


def _from_text_mode(data, what):
    """Undoes a text-mode stream's line ends, failing when a LF came alone."""
    if not WINDOWS:
        return data
    alone = data.replace(b"\r\n", b"").count(b"\n")
    if alone:
        raise AssertionError("%s: %d line feeds without CR (not a text-mode stream): %r"
                             % (what, alone, data[:400]))
    return data.replace(b"\r\n", b"\n")


def local_text(path):
    """The bytes of a local text file the program wrote, with its line ends
    checked (CR LF on Windows) and given back as LF, as on POSIX."""
    with open(path, "rb") as f:
        return _from_text_mode(f.read(), path)


def vortcp_bin():
    """Path of the binary under test; raises when VORTCP_BIN is not set."""
    path = os.environ.get("VORTCP_BIN")
    if not path:
        raise RuntimeError("VORTCP_BIN is not set (run through ctest)")
    return path


def clean_env(extra=None):
    """The environment of a run: PATH and the caller's ASAN_OPTIONS and
    UBSAN_OPTIONS only, plus `extra` (name -> str). A value of None in `extra`
    leaves the variable out. Nothing else of the caller's environment (TEST,
    SERVIDOR, LANG, BASE, ...) reaches the program."""
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin")}
    for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
        if name in os.environ:
            env[name] = os.environ[name]
    for name, value in (extra or {}).items():
        if value is None:
            env.pop(name, None)
        else:
            env[name] = str(value)
    return env


# What the last run of this process ended with, for a scripted peer's failure
# message: a peer that saw no connection can then say what the client did.
_last_run = [None]


def last_run():
    """A line or two on the last run of vortcp in this process: its arguments,
    exit status and the ends of its output (empty before any run)."""
    return _last_run[0] or ""


def _remember(args, status, stdout, stderr):
    _last_run[0] = ("last run of vortcp %r: %s\n  stdout ends: %r\n  stderr ends: %r"
                    % (args, status, (stdout or b"")[-600:], (stderr or b"")[-600:]))


def _test_id():
    """The id of the unittest case whose code is running, or ""."""
    for frame in inspect.stack():
        obj = frame.frame.f_locals.get("self")
        if obj is not None and hasattr(obj, "id") and hasattr(obj, "assertEqual"):
            return obj.id()
    return ""


def _record(args, cwd, stdin, status, stdout, stderr):
    """With VORTCP_E2E_REGISTRO set to a directory, one JSON line per run goes
    into a file of this process there: the test, the arguments, the exit
    status, both outputs and every file under the run's directory with a
    digest of its bytes, the directory's own path written as "<cwd>". Two
    builds' records of the same suite are then compared run by run
    (scripts/compara_registros.py)."""
    where = os.environ.get("VORTCP_E2E_REGISTRO")
    if not where:
        return
    root = os.path.realpath(cwd).encode()

    def plain(data):
        return (data or b"").replace(root, b"<cwd>").replace(os.fsencode(cwd), b"<cwd>").decode("latin-1")

    files = {}
    for base, _, names in os.walk(cwd):
        for name in names:
            path = os.path.join(base, name)
            digest = "?"
            try:
                # Only regular files: a FIFO a test made would block the open.
                # A small one is kept whole, for the comparison to leave out
                # what differs from run to run (the index's update times).
                if os.path.isfile(path) and not os.path.islink(path):
                    with open(path, "rb") as f:
                        data = f.read()
                    if name == "xinfo":
                        data = b"\n".join(l[:106] if len(l.rstrip(b"\r")) >= 120 and l.startswith(b"A") else l
                                          for l in data.split(b"\n"))
                    digest = (plain(data) if len(data) <= 65536
                              else hashlib.sha1(data).hexdigest()[:16])
            except OSError:
                pass
            files[os.path.relpath(path, cwd)] = digest
    line = {"test": _test_id(), "args": [a if isinstance(a, str) else a.decode("latin-1") for a in args],
            "stdin": hashlib.sha1(stdin or b"").hexdigest()[:16], "status": status,
            "stdout": plain(stdout), "stderr": plain(stderr), "files": files}
    os.makedirs(where, exist_ok=True)
    with open(os.path.join(where, "%d.jsonl" % os.getpid()), "a") as f:
        f.write(json.dumps(line, sort_keys=True) + "\n")


def run_vortcp(args, cwd, env=None, stdin=b"", timeout=DEFAULT_TIMEOUT, stdout=None):
    """Runs vortcp with `args` (list of str or bytes) in directory `cwd`, with
    clean_env(env), `stdin` bytes on standard input, and returns a Result.
    With `stdout` (an open file) standard output goes there, and the
    Result's stdout is empty.

    Raises AssertionError (a test failure) when the run outlives `timeout`
    seconds (the process is killed), when it dies from a signal, or when its
    standard error holds a sanitizer report."""
    env = clean_env(env)
    command = [vortcp_bin()] + list(args)
    drive = None
    if WINDOWS:
        command, env = _under_emulator(command, env, cwd)
        drive = _map_drive(cwd)
    try:
        proc = subprocess.run(command, cwd=cwd, env=env,
                              input=stdin, stdout=stdout or subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout)
    except subprocess.TimeoutExpired as e:
        _remember(args, "killed after %ss" % timeout, e.stdout, e.stderr)
        raise AssertionError("vortcp %r did not end within %ss\nstdout: %r\nstderr: %r"
                             % (args, timeout, e.stdout, e.stderr))
    finally:
        if drive:
            drive()
    _remember(args, "exit status %d" % proc.returncode, proc.stdout, proc.stderr)
    _record(args, cwd, stdin, proc.returncode, proc.stdout, proc.stderr)
    for marker in SANITIZER_MARKERS:
        if marker in proc.stderr:
            raise AssertionError("sanitizer report in the run of vortcp %r:\n%s"
                                 % (args, proc.stderr.decode("latin-1")))
    if proc.returncode < 0:
        raise AssertionError("vortcp %r died from signal %d\nstdout: %r\nstderr: %r"
                             % (args, -proc.returncode, proc.stdout, proc.stderr))
    stdout, stderr = proc.stdout or b"", proc.stderr
    if WINDOWS:
        stdout = _from_text_mode(stdout, "stdout of vortcp %r" % (args,))
        stderr = _from_text_mode(stderr, "stderr of vortcp %r" % (args,))
    return Result(proc.returncode, stdout, stderr)


def run_on_terminal(args, cwd, env=None, stdin=b"", stderr_too=False, timeout=20):
    """Runs vortcp (POSIX build) with its standard output on a pseudo-terminal
    in raw mode, so that no CR is added, and standard error there too when
    stderr_too, else in a pipe. Returns (status, what the terminal got,
    stderr bytes). Fails on a sanitizer report in either stream."""
    master, slave = pty.openpty()
    tty.setraw(slave)
    proc = subprocess.Popen([vortcp_bin()] + list(args), cwd=cwd, env=clean_env(env), stdin=subprocess.PIPE,
                            stdout=slave, stderr=slave if stderr_too else subprocess.PIPE)
    os.close(slave)
    screen = bytearray()

    def read():
        while True:
            try:
                piece = os.read(master, 65536)
            except OSError:  # EIO: the program's end closed the terminal's last writer
                return
            if not piece:
                return
            screen.extend(piece)

    reader = threading.Thread(target=read, daemon=True)
    reader.start()
    try:
        _, error = proc.communicate(stdin, timeout=timeout)
    finally:
        proc.kill()
        reader.join(10)
        os.close(master)
    error = error or b""
    for marker in SANITIZER_MARKERS:
        assert marker not in screen and marker not in error, (bytes(screen) + error).decode("latin-1")
    return proc.returncode, bytes(screen), error


# Drive letters mapped by this process: directory -> [link, runs using it].
# Two runs at once in one directory share its letter: Wine puts each of them
# on the first letter that holds the directory, and removing that letter
# while the other runs would pull its current drive from under it.
_drives = {}
_drives_lock = threading.Lock()


def _map_drive(cwd):
    """Maps a free drive letter to `cwd` (or takes the one already mapped to
    it) and returns a function that gives it back after the run. Wine starts
    a process in the deepest drive root that holds its Linux working
    directory, so the run's current drive is then rooted there. Creating the
    link is atomic: two test processes running at once never share a
    letter."""
    where = os.path.abspath(cwd)
    with _drives_lock:
        if where in _drives:
            _drives[where][1] += 1
        else:
            _drives[where] = [_new_drive(where), 1]

    def release():
        with _drives_lock:
            entry = _drives[where]
            entry[1] -= 1
            if entry[1] == 0:
                os.unlink(entry[0])
                del _drives[where]
    return release


def _new_drive(where):
    dosdevices = os.path.join(_wine_prefix(), "dosdevices")
    for letter in "defghijklmnopqrstuvwxy":
        link = os.path.join(dosdevices, letter + ":")
        try:
            os.symlink(where, link)
            return link
        except FileExistsError:
            continue
    raise AssertionError("no free drive letter in %s" % dosdevices)


def _under_emulator(command, env, cwd):
    """The command and environment of a run of the Windows executable."""
    drive_c = _drive_c()
    where = os.path.abspath(cwd)
    if not (where == drive_c or where.startswith(drive_c + os.sep)):
        raise AssertionError("under Wine vortcp must run inside %s (use tempfile), not in %s"
                             % (drive_c, where))
    env = dict(env)
    for name in WINE_VARIABLES:
        if name in os.environ and name not in env:
            env[name] = os.environ[name]
    env.setdefault("LC_ALL", WINE_LOCALE)
    for name in PATH_SETTINGS:
        if env.get(name):
            env[name] = windows_path(env[name])
    return [EMULATOR] + command, env


def make_base(directory, lang="ESP", content="# tabla de pruebas\n"):
    """Writes the table file <directory>/basico/ebcdic.<lang> (which every run
    that gets past the settings needs) and returns `directory`, to be passed
    as BASE together with LANG=<lang>. `content` is str or bytes."""
    basico = os.path.join(directory, "basico")
    os.makedirs(basico, exist_ok=True)
    data = content.encode("latin-1") if isinstance(content, str) else content
    with open(os.path.join(basico, "ebcdic." + lang), "wb") as f:
        f.write(data)
    return directory
