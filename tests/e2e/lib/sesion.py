"""The test case of the session tests: vortcp run in a temporary directory
against a scripted peer."""

import os
import tempfile
import unittest

from .proceso import make_base, run_vortcp


class Sesion(unittest.TestCase):
    """A run of vortcp in a fresh directory `self.dir` with its table file;
    run_against() points it at a scripted peer (or at none)."""

    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory()
        self.dir = self._tmp.name
        self.addCleanup(self._tmp.cleanup)
        self.base = make_base(os.path.join(self.dir, "base"), "ESP")

    def run_against(self, peer, args, **env):
        full = {"BASE": self.base, "LANG": "ESP"}
        if peer is not None:
            full.update(peer.env())
        full.update(env)
        return run_vortcp(args, self.dir, env=full)

    def read(self, name):
        with open(os.path.join(self.dir, name), "rb") as f:
            return f.read()
