"""Running the real vortcp binary ($VORTCP_BIN) the way a user would."""

import os
import subprocess
from collections import namedtuple

Result = namedtuple("Result", "status stdout stderr")
Result.__doc__ = """Outcome of one run: status is the exit status as the shell sees it
(0..255: -1 is 255); stdout and stderr are bytes."""

SANITIZER_MARKERS = (b"ERROR: AddressSanitizer", b"runtime error:", b"LeakSanitizer")

DEFAULT_TIMEOUT = 20


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


def run_vortcp(args, cwd, env=None, stdin=b"", timeout=DEFAULT_TIMEOUT):
    """Runs vortcp with `args` (list of str or bytes) in directory `cwd`, with
    clean_env(env), `stdin` bytes on standard input, and returns a Result.

    Raises AssertionError (a test failure) when the run outlives `timeout`
    seconds (the process is killed), when it dies from a signal, or when its
    standard error holds a sanitizer report."""
    try:
        proc = subprocess.run([vortcp_bin()] + list(args), cwd=cwd, env=clean_env(env),
                              input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout)
    except subprocess.TimeoutExpired as e:
        raise AssertionError("vortcp %r did not end within %ss\nstdout: %r\nstderr: %r"
                             % (args, timeout, e.stdout, e.stderr))
    for marker in SANITIZER_MARKERS:
        if marker in proc.stderr:
            raise AssertionError("sanitizer report in the run of vortcp %r:\n%s"
                                 % (args, proc.stderr.decode("latin-1")))
    if proc.returncode < 0:
        raise AssertionError("vortcp %r died from signal %d\nstdout: %r\nstderr: %r"
                             % (args, -proc.returncode, proc.stdout, proc.stderr))
    return Result(proc.returncode, proc.stdout, proc.stderr)


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
