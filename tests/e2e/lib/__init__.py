"""Shared helpers of vortcp's end-to-end tests (standard library only).

- run_vortcp, Result, clean_env, make_base: run the real binary (proceso.py)
- asc_fija, ebc_fija, to_ebcdic, from_ebcdic, frame, ebcdic_frame,
  split_frames, frame_length, show: bytes on the wire (ebcdic.py)
- Peer and its steps (expect, expect_frame, read_frame, send, send_chunks,
  send_split, pause, close, expect_eof, call), broker_reply, broker_script,
  unused_port: the scripted server side (servidor.py)

Tests import it from tests/e2e: `from lib import *` or by name.
"""

from .ebcdic import (MAX_FRAME, as_bytes, asc_fija, ebc_fija, ebcdic_frame, frame,
                     frame_length, from_ebcdic, show, split_frames, to_ebcdic)
from .proceso import Result, clean_env, make_base, run_vortcp, vortcp_bin
from .servidor import (Connection, Peer, ScriptFailure, broker_reply, broker_script, call,
                       close, expect, expect_eof, expect_frame, pause, read_frame, send,
                       send_chunks, send_split, unused_port)

__all__ = [
    "MAX_FRAME", "as_bytes", "asc_fija", "ebc_fija", "ebcdic_frame", "frame", "frame_length",
    "from_ebcdic", "show", "split_frames", "to_ebcdic",
    "Result", "clean_env", "make_base", "run_vortcp", "vortcp_bin",
    "Connection", "Peer", "ScriptFailure", "broker_reply", "broker_script", "call", "close",
    "expect", "expect_eof", "expect_frame", "pause", "read_frame", "send", "send_chunks",
    "send_split", "unused_port",
]
