"""Shared helpers of vortcp's end-to-end tests (standard library only).

- run_vortcp, run_on_terminal, Result, clean_env, make_base: run the real
  binary (proceso.py)
- WINDOWS, EOL, CONNECTION_REFUSED, NOT_A_DIRECTORY, shown_path, stored_name,
  text_bytes, local_text, windows_path: what differs when the binary is the
  Windows build run under Wine (proceso.py)
- asc_fija, ebc_fija, to_ebcdic, from_ebcdic, frame, ebcdic_frame,
  split_frames, frame_length, show: bytes on the wire (ebcdic.py)
- Peer and its steps (expect, expect_frame, read_frame, send, send_chunks,
  send_split, pause, close, expect_eof, call), broker_reply, broker_script,
  unused_port: the scripted server side (servidor.py)

Tests import it from tests/e2e: `from lib import *` or by name. Its other
modules are imported by name, as each concerns some of the tests only:
- lib.transferencia: the transfer walk's frames, scripts and result lines, and
  the test cases Arbol and DiscoPequeno that run it in a local tree
- lib.sesion: the test case Sesion of the session tests
- lib.simulador: Simulador, a zizez-sim process, and MUESTRAS
- lib.cliente_sim: a bare client of the simulator's wire
- lib.catalogo_sim: changes to the simulator's catalogue
"""

from .ebcdic import (MAX_FRAME, as_bytes, asc_fija, ebc_fija, ebcdic_frame, frame,
                     frame_length, from_ebcdic, show, split_frames, to_ebcdic)
from .proceso import (CONNECTION_REFUSED, EOL, NOT_A_DIRECTORY, WINDOWS, Result, clean_env,
                      local_text, make_base, run_on_terminal, run_vortcp, shown_path, stored_name, text_bytes,
                      vortcp_bin, windows_path)
from .servidor import (Connection, Peer, ScriptFailure, broker_reply, broker_script, call,
                       close, expect, expect_eof, expect_frame, pause, read_frame, send,
                       send_chunks, send_split, unused_port)

__all__ = [
    "MAX_FRAME", "as_bytes", "asc_fija", "ebc_fija", "ebcdic_frame", "frame", "frame_length",
    "from_ebcdic", "show", "split_frames", "to_ebcdic",
    "Result", "clean_env", "make_base", "run_vortcp", "vortcp_bin",
    "CONNECTION_REFUSED", "EOL", "NOT_A_DIRECTORY", "WINDOWS", "stored_name", "local_text", "shown_path", "text_bytes", "windows_path",
    "Connection", "Peer", "ScriptFailure", "broker_reply", "broker_script", "call", "close",
    "expect", "expect_eof", "expect_frame", "pause", "read_frame", "send", "send_chunks",
    "send_split", "unused_port",
]
